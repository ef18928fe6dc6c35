// The program entry: the three windows, the message loop, and COM for the
// shell's dialogs.
#include <objbase.h>

#include "platform/toolkit_win.h"
#include "ui/about_box.h"
#include "ui/edit_form.h"
#include "ui/main_form.h"

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

int CurrentYear() {
    SYSTEMTIME now;
    GetLocalTime(&now);
    return now.wYear;
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    ComApartment com;
    platform::Win32Toolkit toolkit;
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
