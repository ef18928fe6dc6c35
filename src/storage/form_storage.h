// The main window's placement and the check interval, kept in the per-user
// settings store under "Software\<program name>\TMainForm". Restored at every
// showing of the window, saved when it closes.
#pragma once

#include <string>

#include "gui/controls.h"

class TFormStorage {
  public:
    // `key` is "Software\" and the program file's name without extension.
    TFormStorage(gui::FormToolkit& toolkit, gui::Form& form, gui::NumberField& interval,
                 std::u16string key)
        : toolkit_(toolkit), form_(form), interval_(interval), key_(std::move(key)) {}

    // Both throw std::runtime_error with the text for the error box.
    void RestoreFormPlacement();
    void SaveFormPlacement(bool destroying);

    // How many seconds apart a watched folder whose changes the system
    // reports is read in full all the same: "FullReadSeconds" under the
    // subkey "Monitoring"; 60 when missing or no number, 0 to read in full at
    // every tick.
    uint32_t FullReadSeconds();
    // Whether a file another program still writes waits for it to let go
    // before its command is launched: "WaitForWriters" under "Monitoring",
    // on unless it is "0".
    bool WaitForWriters();
    // Whether each entry's last snapshot is kept when monitoring ends, for
    // the next start to launch what arrived or changed meanwhile: "CatchUp"
    // under "Monitoring", on unless it is "0".
    bool CatchUp();
    // How many processes launched for files run at once at most: "MaxParallel"
    // under "Monitoring", 8 when missing or no number, at least 1; and how
    // many seconds a process holds its place at most: "SlotSeconds", 10.
    uint32_t MaxParallel();
    uint32_t SlotSeconds();

    // Whether the last restore ran to its end and nothing was saved after it:
    // the window's destruction then saves once more.
    bool SaveDue() const { return restored_ && !saved_; }

    static std::u16string KeyFor(std::u16string_view programFile);
    // The general number format with "." whatever the locale.
    static std::u16string FormatNumber(double value);

  private:
    gui::SettingsStore::Kind Read(std::u16string_view name, std::u16string& value);
    // A count under "Monitoring", `otherwise` when missing or no count.
    uint32_t Count(std::u16string_view name, uint32_t otherwise);
    // A switch under "Monitoring": on unless it is "0".
    bool On(std::u16string_view name);
    void Write(std::u16string_view name, std::u16string_view value);
    std::u16string ScreenName(std::u16string_view name);

    gui::FormToolkit& toolkit_;
    gui::Form& form_;
    gui::NumberField& interval_;
    std::u16string key_;
    bool restored_ = false;
    bool saved_ = false;
};
