#pragma once
// The MessageBoxA-like style flags and results of every question the
// program asks, in a window or on a terminal.

namespace mb {
// Buttons
inline constexpr unsigned OK = 0x0;
inline constexpr unsigned OKCANCEL = 0x1;
inline constexpr unsigned YESNO = 0x4;
inline constexpr unsigned RETRYCANCEL = 0x5;
// Icons
inline constexpr unsigned ICONERROR = 0x10;
inline constexpr unsigned ICONQUESTION = 0x20;
inline constexpr unsigned ICONWARNING = 0x30;
inline constexpr unsigned ICONINFORMATION = 0x40;
// Modality and placement
inline constexpr unsigned TASKMODAL = 0x2000;
inline constexpr unsigned SETFOREGROUND = 0x10000;

inline constexpr unsigned ButtonMask = 0xF;
inline constexpr unsigned IconMask = 0xF0;

// Results
inline constexpr int IDOK = 1;
inline constexpr int IDCANCEL = 2;
inline constexpr int IDRETRY = 4;
inline constexpr int IDYES = 6;
inline constexpr int IDNO = 7;
} // namespace mb
