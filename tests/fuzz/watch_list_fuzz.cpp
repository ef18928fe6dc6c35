// Any bytes as "options.dat": loading never crashes and never allocates much
// more than the file holds, and a list that loaded survives a save and a load
// unchanged.
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "base/text.h"
#include "largest_allocation.h"
#include "gui/memory/toolkit_memory.h"
#include "storage/watch_list.h"
#include "ui/main_form.h"

namespace {

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

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static Folder folder;
    const std::filesystem::path file = folder.root / "Brennick" / "Valmorin" / "options.dat";
    std::ofstream(file, std::ios::binary | std::ios::trunc)
        .write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));

    gui::MemoryToolkit kit;
    kit.specialFolders[26] = base::Utf8ToUtf16(folder.root.string());
    TMainForm form(kit);
    fuzz::WatchAllocations();
    bool loaded = true;
    try {
        form.Loadoptions();
    } catch (const IoError&) {
        loaded = false;
    }
    const size_t largest = fuzz::LargestAllocation();
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
