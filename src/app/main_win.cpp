// The program entry: the three windows, the message loop, and COM for the
// shell's dialogs.
#include <objbase.h>

#include "app/single_instance_win.h"
#include "gui/toolkit_win.h"
#include "platform/wide.h"
#include "ui/about_box.h"
#include "ui/edit_form.h"
#include "ui/main_form.h"
#include "ui/resource_ids.h"

namespace {

// The GUI thread's single-threaded apartment, for as long as the program runs.
class ComApartment {
  public:
    ComApartment() : ok_(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) {}
    ~ComApartment() {
        if (ok_) CoUninitialize();
    }
    ComApartment(const ComApartment&) = delete;
    ComApartment& operator=(const ComApartment&) = delete;

  private:
    bool ok_;
};

// The glyphs' icons, in the order of gui::Glyph.
constexpr gui::GlyphResources kGlyphs{0,
                                      IDI_GLYPH_ALL,
                                      IDI_GLYPH_RETRY,
                                      IDI_GLYPH_CANCEL,
                                      IDI_GLYPH_IGNORE,
                                      IDI_GLYPH_HELP,
                                      IDI_GLYPH_OK,
                                      IDI_GLYPH_FOLDER,
                                      IDI_GLYPH_GLOBE};

int CurrentYear() {
    SYSTEMTIME now;
    GetLocalTime(&now);
    return now.wYear;
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    // A second start, with whatever arguments, only hands over to the first.
    app::SingleInstance instance;
    if (!instance.Owned() &&
        (app::HandOver(platform::AsWide(TMainForm::kCaption).c_str(), 800) || !instance.Claim(100)))
        return 0;
    ComApartment com;
    gui::SetGlyphResources(kGlyphs);
    gui::Win32Toolkit toolkit;
    toolkit.title = u"Valmorin";

    TMainForm MainForm(toolkit);
    toolkit.Guarded([&] { MainForm.FormCreate(); });
    TEditForm EditForm(toolkit);
    TAboutBox AboutBox(toolkit, toolkit, CurrentYear());
    MainForm.EditForm = &EditForm;
    MainForm.AboutBox = &AboutBox;

    MainForm.Window().Show();
    return toolkit.Run();
}
