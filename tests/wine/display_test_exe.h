#pragma once
// What the tests of display-test.exe under Wine share: the port it opens, its window's title
// (the product's name too), and bounds for a hung program on a loaded machine, not
// measurements.

#include <windows.h>

namespace display_test_exe {

constexpr char kPort[] = "COM5";
constexpr wchar_t kTitle[] = L"Vandry Customer Display Test";
constexpr DWORD kStartMs = 90000;
constexpr DWORD kEndMs = 30000;

}  // namespace display_test_exe
