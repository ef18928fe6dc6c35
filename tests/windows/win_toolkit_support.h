// What the tests of the Win32 toolkit share: a fixture whose toolkit records
// its message boxes instead of showing them, window events that record, and
// probes of the system's state.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "gui/toolkit_win.h"

namespace test {

struct Box {
    std::u16string text, caption;
    uint32_t flags;
};

class RecordingEvents final : public gui::WindowEvents {
  public:
    void OnShow() override;
    void OnClose() override;
    void OnUserMessage(uint32_t message, intptr_t lparam) override;

    int shows = 0, closes = 0;
    std::vector<std::pair<uint32_t, intptr_t>> user;
    // Run after the event is recorded.
    std::function<void()> onShow, onClose;
    std::function<void(uint32_t, intptr_t)> onUser;
};

class ToolkitTest : public testing::Test {
  protected:
    ToolkitTest();
    // Fails on a quit request left in the queue, then empties the queue.
    void TearDown() override;

    // The application's main form, hidden, 400 x 300.
    std::unique_ptr<gui::Form> NewWindow(std::u16string_view caption = u"Valmorin test");
    // Handles messages until `done` holds; false when `limit` passed first.
    bool PumpUntil(const std::function<bool()>& done,
                   std::chrono::milliseconds limit = std::chrono::seconds(5));
    void PumpFor(std::chrono::milliseconds span);

    gui::Win32Toolkit kit;
    RecordingEvents events;
    std::vector<Box> boxes;
};

HWND Hwnd(const gui::Window& window);
// A length at 96 DPI at the screen's DPI.
int Scaled(int length);
// A top-level window of the thread, by class and caption; null if none.
HWND FindThreadWindow(DWORD thread, const wchar_t* className, const wchar_t* caption);
// Puts the text on the clipboard, as a copy in another program would.
bool SetClipboardText(HWND owner, const std::wstring& text);
// False once the icon has been destroyed.
bool IconAlive(HICON icon);
// Runs a program with extra environment variables and no output, waits for
// it and returns its exit code (-1 when it could not start or hung).
int RunChild(const std::wstring& program, std::wstring commandLine,
             const std::vector<std::pair<std::wstring, std::wstring>>& environment);

}  // namespace test
