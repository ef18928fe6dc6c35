// Reading only what the system reported must launch exactly what a full read
// launches, tick by tick, and list only what it has reason to.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <random>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "gui/memory/toolkit_memory.h"
#include "platform/change_watch.h"
#include "platform/dir_search.h"
#include "test_support.h"
#include "twin_monitor.h"
#include "ui/main_form.h"

using test::kSettle;
using test::Lines;
using test::Monitor;
using test::Narrow;

namespace {

namespace fs = std::filesystem;

class Refresh : public ::testing::Test {
  protected:
    void TearDown() override {
        platform::SetListingFault(nullptr);
        platform::SetWatchFault(nullptr);
        platform::SetReportSpelling(nullptr);
    }

    void Write(const fs::path& file, size_t bytes) {
        std::ofstream(Spelled(file), std::ios::binary)
            << std::string(bytes, char('a' + rng() % 26));
    }
    // All folders (the root first) or all files below `root`, links not followed.
    std::vector<fs::path> Entries(const fs::path& root, bool folders) {
        std::vector<fs::path> out;
        if (folders) out.push_back(root);
        std::error_code error;
        for (auto it = fs::recursive_directory_iterator(root, error);
             it != fs::recursive_directory_iterator(); it.increment(error)) {
            if (error) break;
            if (it->is_symlink()) {
                it.disable_recursion_pending();
                continue;
            }
            if (it->is_directory() == folders) out.push_back(it->path());
        }
        return out;
    }
    template <class T>
    const T& Pick(const std::vector<T>& from) {
        return from[rng() % from.size()];
    }
    // A new name in `folder`; now and then one that begins with the name of
    // a folder there, so that siblings share the start of their names.
    std::string NewName(const fs::path& folder) {
        std::string name = "n";
        std::error_code ignored;
        if (rng() % 3 == 0)
            for (const auto& entry : fs::directory_iterator(folder, ignored))
                if (entry.is_directory() && !entry.is_symlink() && rng() % 2) {
                    static const char* const kGoOn[] = {"", ".", " ", "-"};
                    name = entry.path().filename().string() + kGoOn[rng() % 4];
                    break;
                }
        return name + std::to_string(counter++);
    }
    // The path of a folder or file relative to the watched one, as "a/b".
    std::string Relative(const fs::path& path) {
        const std::string relative = path.lexically_relative(tree.Root()).generic_string();
        return relative == "." ? "" : relative;
    }
    // Windows names a file whatever the case of its path: changes made
    // through paths spelled in another case reach the same files.
    fs::path Spelled(const fs::path& path) {
#ifdef _WIN32
        if (rng() % 3 == 0) {
            std::string relative = Relative(path.parent_path());
            if (relative.starts_with("..")) return path;
            for (char& c : relative) c = static_cast<char>(std::toupper(c));
            return (relative.empty() ? tree.Root() : tree.Root() / relative) / path.filename();
        }
#endif
        return path;
    }
    // The listing of `folder` changed: a partial read may list it.
    void Touch(const fs::path& folder) {
        touched.insert(Relative(folder));
    }
    // A folder that came with all below it, and is read whole.
    void Arrived(const fs::path& folder) {
        Touch(folder.parent_path());
        arrived.insert(Relative(folder));
        std::error_code error;
        for (auto it = fs::recursive_directory_iterator(
                 folder, fs::directory_options::follow_directory_symlink, error);
             it != fs::recursive_directory_iterator(); it.increment(error)) {
            if (error) break;
            if (it->is_regular_file()) Changed(it->path());
        }
    }
    // A file written, or new where it is: it may be launched once.
    void Changed(const fs::path& file) {
        std::string relative = Relative(file);
        std::replace(relative.begin(), relative.end(), '/', '\\');
        pending.insert(relative);
    }
    // Every launch is of a file that changed since it was last launched.
    void ExpectChanged(const Lines& launched, int tick) {
        for (std::string line : launched) {
            // A path with a space comes quoted.
            if (line.size() > 1 && line.front() == '"') line = line.substr(1, line.size() - 2);
            const std::string name = line.substr(line.rfind('\\') + 1);
            EXPECT_TRUE(pending.erase(line) || linkedNames.erase(name))
                << "tick " << tick << ": " << line << " launched unchanged";
        }
    }

    // One random change to the watched tree, or between it and a folder
    // outside it.
    void Change() {
        const fs::path root = tree.Root();
        const auto folders = Entries(root, true);
        const auto files = Entries(root, false);
        const fs::path& folder = Pick(folders);
        std::error_code ignored;
        switch (rng() % 13) {
            case 0:
            case 1: {
                const fs::path file = folder / (NewName(folder) + ".txt");
                Write(file, rng() % 40);
                Changed(file);
                Touch(folder);
                break;
            }
            case 2:
                if (!files.empty()) {
                    const fs::path& file = Pick(files);
                    std::ofstream(Spelled(file), std::ios::app | std::ios::binary) << "+";
                    Changed(file);
                    Touch(file.parent_path());
                }
                break;
            case 3:  // the same size, other bytes
                if (!files.empty()) {
                    const fs::path& file = Pick(files);
                    Write(file, fs::file_size(file, ignored) % 40);
                    Changed(file);
                    Touch(file.parent_path());
                }
                break;
            case 4:
                if (!files.empty()) {
                    const fs::path& file = Pick(files);
                    const fs::path to = folder / (NewName(folder) + ".txt");
                    fs::rename(Spelled(file), to, ignored);
                    Changed(to);
                    Touch(file.parent_path());
                    Touch(folder);
                }
                break;
            case 5:
                if (!files.empty()) {
                    const fs::path& file = Pick(files);
                    fs::remove(Spelled(file), ignored);
                    Touch(file.parent_path());
                }
                break;
            case 6: {  // a folder with files, made at once
                const fs::path made = folder / NewName(folder);
                fs::create_directories(made / "inner", ignored);
                Write(made / "a.txt", 3);
                Write(made / "inner" / "b.txt", 4);
                Arrived(made);
                break;
            }
            case 7:
                if (folder != root) {
                    fs::remove_all(Spelled(folder), ignored);
                    Touch(folder.parent_path());
                }
                break;
            case 8:
                if (folder != root) {
                    const fs::path& to = Pick(folders);
                    const fs::path moved = to / NewName(to);
                    fs::rename(folder, moved, ignored);
                    if (!ignored) {
                        Touch(folder.parent_path());
                        Arrived(moved);
                    }
                }
                break;
            case 9: {  // in from outside, or out
                const auto away = Entries(outside.Root(), false);
                if (rng() % 2 && !away.empty()) {
                    const fs::path to = folder / (NewName(folder) + ".in");
                    fs::rename(Pick(away), to, ignored);
                    Changed(to);
                    Touch(folder);
                } else if (!files.empty()) {
                    const fs::path& file = Pick(files);
                    fs::rename(file, outside.Root() / ("o" + std::to_string(counter++)), ignored);
                    Touch(file.parent_path());
                }
                break;
            }
            case 10:
                if (folder != root && rng() % 2) {
                    fs::rename(folder, outside.Root() / ("o" + std::to_string(counter++)), ignored);
                    Touch(folder.parent_path());
                } else {
                    for (const fs::path& away : Entries(outside.Root(), true))
                        if (away != outside.Root() && away.parent_path() == outside.Root() &&
                            !away.filename().string().starts_with("linked")) {
                            const fs::path moved = folder / NewName(folder);
                            fs::rename(away, moved, ignored);
                            Arrived(moved);
                            break;
                        }
                }
                break;
            case 11:  // another folder under a known name
                if (folder != root) {
                    fs::remove_all(folder, ignored);
                    fs::create_directories(folder / "inner", ignored);
                    Write(folder / "f0", rng() % 3);
                    Write(folder / "inner" / "g.txt", 1);
                    Arrived(folder);
                }
                break;
            default:
#ifndef _WIN32
                // A link to a folder outside, whose changes come through it.
                if (rng() % 2) {
                    const fs::path target = outside.Root() / ("linked" + std::to_string(counter));
                    fs::create_directories(target, ignored);
                    const fs::path link = folder / NewName(folder);
                    fs::create_directory_symlink(target, link, ignored);
                    Touch(folder);
                    Arrived(link);
                } else {
                    for (const fs::path& away : Entries(outside.Root(), true))
                        if (away.filename().string().starts_with("linked")) {
                            const std::string name = "n" + std::to_string(counter++) + ".txt";
                            Write(away / name, 2);
                            linkedNames.insert(name);
                        }
                }
#endif
                break;
        }
    }

    // Folders that cannot be listed at this tick: now and then one, or one
    // and one below it, a listing ending at its start or after an entry,
    // for a moment or as a folder this user may not list; often beside a
    // new folder, which changes the order of the listing.
    platform::ListingFault Unreadable() {
        if (rng() % 4) return nullptr;
        // A full read keeps all that a folder it could not list held; a
        // partial one would list a changed folder below it all the same, and
        // launch a tick sooner.
        auto quietBelow = [&](const fs::path& folder) {
            const std::string below = Relative(folder) + "/";
            for (const auto* changed : {&touched, &arrived, &touchedBefore, &arrivedBefore})
                for (const std::string& path : *changed)
                    if (below == "/" ? !path.empty() : path.starts_with(below)) return false;
            return true;
        };
        std::vector<fs::path> folders;
        for (const fs::path& folder : Entries(tree.Root(), true))
            if (quietBelow(folder)) folders.push_back(folder);
        if (folders.empty()) return nullptr;
        const bool deny = rng() % 3 == 0;
        std::vector<std::pair<std::u16string, size_t>> failing;
        auto fail = [&](const fs::path& folder) {
            const std::string relative = Relative(folder);
            std::u16string below = test::Wide(relative);
            std::replace(below.begin(), below.end(), u'/', u'\\');
            failing.emplace_back(tree.Path() + (below.empty() ? u"" : u"\\" + below) + u"\\*.*",
                                 deny || rng() % 3 ? 0 : 1);
            if (deny) denied.insert(relative);
        };
        const fs::path& folder = Pick(folders);
        fail(folder);
        if (rng() % 2) {
            std::vector<fs::path> below;
            for (const fs::path& inner : Entries(folder, true))
                if (inner != folder) below.push_back(inner);
            if (!below.empty()) fail(Pick(below));
        }
        if (folder != tree.Root() && rng() % 2) {
            const fs::path made = folder.parent_path() / NewName(folder.parent_path());
            std::error_code ignored;
            fs::create_directories(made, ignored);
            Write(made / "c.txt", 2);
            Arrived(made);
        }
        return [failing, deny](std::u16string_view pattern, size_t index) {
            for (const auto& [path, at] : failing)
                if (pattern == path && index == at)
                    return deny ? platform::ListEnd::denied : platform::ListEnd::unreadable;
            return platform::ListEnd::complete;
        };
    }

    // Whether a partial read had reason to list the folder of `pattern`:
    // its listing changed, it came whole, it is reached through a link or
    // holds one, or it could not be listed before.
    bool Listable(std::u16string_view pattern) {
        std::u16string folder(pattern.substr(0, pattern.size() - 4));
        std::string relative =
            test::Narrow(folder.substr(std::min(folder.size(), tree.Path().size() + 1)));
        std::replace(relative.begin(), relative.end(), '\\', '/');
        if (touched.contains(relative) || touchedBefore.contains(relative) ||
            denied.contains(relative))
            return true;
        for (const std::string& link : links)
            if (relative == fs::path(link).parent_path().generic_string()) return true;
        for (std::string above = relative;;
             above = fs::path(above).parent_path().generic_string()) {
            if (arrived.contains(above) || arrivedBefore.contains(above) ||
                std::find(links.begin(), links.end(), above) != links.end())
                return true;
            if (above.empty()) return false;
        }
    }
    // The links to folders in the tree now, as relative paths.
    void FindLinks() {
        links.clear();
        std::error_code error;
        for (auto it = fs::recursive_directory_iterator(tree.Root(), error);
             it != fs::recursive_directory_iterator(); it.increment(error)) {
            if (error) break;
            if (it->is_symlink()) {
                links.push_back(Relative(it->path()));
                it.disable_recursion_pending();
            }
        }
    }

    test::TempTree tree, outside;
    std::mt19937 rng{20261209};
    int counter = 0;
    // What the changes of this tick (and of the tick before: Wine hands on
    // a report late now and then) gave a partial read reason to list.
    std::set<std::string> touched, arrived, touchedBefore, arrivedBefore, denied;
    // The files changed since their last launch, as launched (pending), and
    // by name those written behind a link.
    std::set<std::string> pending, linkedNames;
    std::vector<std::string> links;
};

TEST_F(Refresh, SameLaunchesAsAFullReadTickByTick) {
    for (int i = 0; i < 24; ++i) {
        const std::string folder =
            (i % 3 ? "d" + std::to_string(i / 3) + "/" : "") + std::to_string(i);
        tree.MakeDir(folder);
        for (int k = 0; k < 3; ++k) tree.Write(folder + "/f" + std::to_string(k));
    }
    // Siblings whose names begin alike, one with a folder inside.
    for (const char* folder : {"2", "2.x", "2 y", "2/in", "21/in", "d0/1.1"})
        tree.Write(std::string(folder) + "/f");
    for (int i = 0; i < 4; ++i) Write(outside.Root() / ("o" + std::to_string(i)), 5);
    Monitor full("0"), partial("3600");
    full.Start(tree.Path());
    partial.Start(tree.Path());
#ifndef _WIN32
    // Reports that spell names in another case, as Windows may give them.
    platform::SetReportSpelling([&](platform::Change& change) {
        if (rng() % 3) return;
        for (char16_t& c : change.path)
            if (c >= u'a' && c <= u'z') c = static_cast<char16_t>(c - u'a' + u'A');
    });
#endif
    size_t fullListings = 0, partialListings = 0;
#ifdef _WIN32
    constexpr int kTicks = 120;
#else
    constexpr int kTicks = 400;
#endif
    size_t launched = 0, partialTicks = 0;
    for (int tick = 0; tick < kTicks; ++tick) {
#ifdef _WIN32
        touchedBefore = std::move(touched);
        arrivedBefore = std::move(arrived);
#endif
        touched.clear();
        arrived.clear();
        for (int n = tick % 5 == 0 ? 0 : 1 + static_cast<int>(rng() % 3); n > 0; --n) Change();
        const platform::ListingFault unreadable = Unreadable();
        FindLinks();
        std::this_thread::sleep_for(kSettle);
        size_t fullNow = 0, partialNow = 0;
        const Lines expected = full.Tick(fullNow, unreadable);
        ASSERT_EQ(partial.Tick(partialNow, unreadable), expected) << "tick " << tick;
        launched += expected.size();
        ExpectChanged(expected, tick);
        fullListings += fullNow;
        partialListings += partialNow;
        // A tick that read less than everything listed only what it had to.
        if (partialNow < fullNow) {
            ++partialTicks;
            for (const std::u16string& pattern : partial.listed)
                EXPECT_TRUE(Listable(pattern)) << "tick " << tick << ": " << test::Narrow(pattern);
        }
    }
    EXPECT_GT(launched, static_cast<size_t>(kTicks));
    // It did read less, or it proved nothing.
    EXPECT_LT(partialListings * 2, fullListings);
    EXPECT_GT(partialTicks * 2, static_cast<size_t>(kTicks));
}

}  // namespace
