// The window class of every form. Windows code only.
#pragma once

namespace gui::win {

// The setup program and a second start find the main window by this class
// and its caption.
inline constexpr wchar_t kFormClass[] = L"TValmorinForm";

}  // namespace gui::win
