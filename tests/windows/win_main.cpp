#include <objbase.h>

#include <gtest/gtest.h>

#include "gui/toolkit_win.h"
#include "ui/resource_ids.h"

int main(int argc, char** argv) {
    // The shell's open operation expects COM, as in the program.
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    // The program's glyphs, as the program names them at start-up.
    gui::SetGlyphResources({0, IDI_GLYPH_ALL, IDI_GLYPH_RETRY, IDI_GLYPH_CANCEL, IDI_GLYPH_IGNORE,
                            IDI_GLYPH_HELP, IDI_GLYPH_OK, IDI_GLYPH_FOLDER, IDI_GLYPH_GLOBE});
    testing::InitGoogleTest(&argc, argv);
    int result = RUN_ALL_TESTS();
    CoUninitialize();
    return result;
}
