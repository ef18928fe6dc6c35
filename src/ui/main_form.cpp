#include "ui/main_form.h"

#include "monitor/dyna_array.h"

TMainForm::TMainForm(platform::Toolkit& toolkit) : toolkit_(toolkit) {
    window_ = toolkit_.CreateMainWindow(*this, toolkit_.title, {0, 0, 640, 400});
    Timer1 = toolkit_.CreateTimer(*window_, [this] { Timer1Timer(); });
    ListView1 = toolkit_.CreateListView(*window_, {0, 0, 640, 330});
    PruefEd = toolkit_.CreateNumberField(*window_, {0, 340, 80, 21});
    PruefEd->SetValue(1000);
}

TMainForm::~TMainForm() { ReleaseJobs(); }

void TMainForm::OnUserMessage(uint32_t message, intptr_t lparam) {
    if (message == kTrayMessage) WMUser(lparam);
}
