// Any bytes as "options.dat": loading never crashes and never allocates much
// more than the file holds, and a list that loaded survives a save and a load
// unchanged.
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <new>
#include <stdexcept>
#include <string>
#include <vector>

#include "base/text.h"
#include "gui/memory/toolkit_memory.h"
#include "storage/watch_list.h"
#include "ui/main_form.h"

namespace {

size_t largest = 0;  // the largest single allocation while it is watched
bool watching = false;

struct Folder {
    Folder() {
        std::string pattern = (std::filesystem::temp_directory_path() / "valmorin-fuzz-XXXXXX").string();
        if (!mkdtemp(pattern.data())) std::abort();
        root = pattern;
        std::filesystem::create_directories(root / "Brennick" / "Valmorin");
    }
    ~Folder() { std::filesystem::remove_all(root); }
    std::filesystem::path root;
};

std::vector<std::vector<std::u16string>> Rows(TMainForm& form) {
    std::vector<std::vector<std::u16string>> rows;
    for (int row = 0; row < form.ListView1->RowCount(); ++row) {
        auto& cells = rows.emplace_back();
        for (int column = 0; column < gui::ListView::kColumns; ++column)
            cells.push_back(form.ListView1->Cell(row, column));
    }
    return rows;
}

}  // namespace

namespace {

void* Take(size_t bytes) noexcept {
    if (watching && bytes > largest) largest = bytes;
    return std::malloc(bytes ? bytes : 1);
}

}  // namespace

// Every form of new and delete, so that none is left to a sanitizer's own.
void* operator new(size_t bytes) {
    if (void* memory = Take(bytes)) return memory;
    throw std::bad_alloc();
}
void* operator new[](size_t bytes) { return operator new(bytes); }
void* operator new(size_t bytes, const std::nothrow_t&) noexcept { return Take(bytes); }
void* operator new[](size_t bytes, const std::nothrow_t&) noexcept { return Take(bytes); }
void operator delete(void* memory) noexcept { std::free(memory); }
void operator delete[](void* memory) noexcept { std::free(memory); }
void operator delete(void* memory, size_t) noexcept { std::free(memory); }
void operator delete[](void* memory, size_t) noexcept { std::free(memory); }
void operator delete(void* memory, const std::nothrow_t&) noexcept { std::free(memory); }
void operator delete[](void* memory, const std::nothrow_t&) noexcept { std::free(memory); }

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static Folder folder;
    const std::filesystem::path file = folder.root / "Brennick" / "Valmorin" / "options.dat";
    std::ofstream(file, std::ios::binary | std::ios::trunc)
        .write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));

    gui::MemoryToolkit kit;
    kit.specialFolders[26] = base::Utf8ToUtf16(folder.root.string());
    TMainForm form(kit);
    largest = 0;
    watching = true;
    bool loaded = true;
    try {
        form.Loadoptions();
    } catch (const IoError&) {
        loaded = false;
    }
    watching = false;
    // Texts double as UTF-16 and strings may double their room once; the
    // window's own objects take a few kilobytes whatever the file.
    if (largest > 4 * size + 16384) std::abort();
    if (!loaded) return 0;

    const auto rows = Rows(form);
    form.Saveoptions();
    form.ListView1->Clear();
    form.Loadoptions();
    if (Rows(form) != rows) std::abort();
    return 0;
}
