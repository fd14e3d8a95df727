// What the screen shows, read back through GDI: the dialog's painting and the
// message boxes' icons are checked against it, and the dialog's picture is
// saved from it for the documentation.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace config_test {

struct Pixels {
    int width = 0, height = 0;
    std::vector<DWORD> rgb; // 0x00RRGGBB, top row first
    DWORD At(int x, int y) const { return rgb[static_cast<size_t>(y) * width + x]; }
};

// The screen's pixels within `area` (screen coordinates).
Pixels CaptureScreen(const RECT& area);

// A 24-bit bitmap file of the pixels.
bool SaveBitmapFile(const Pixels& pixels, const std::wstring& path);

// Draws an icon on a plain background, to compare with what the screen shows.
Pixels RenderIcon(HICON icon, int width, int height, DWORD background);

// The pixels of a bitmap.
Pixels RenderBitmap(HBITMAP bitmap);

// Sum of the colour differences of two pictures of the same size.
long long Difference(const Pixels& a, const Pixels& b);

} // namespace config_test
