// Places a dialog's controls from a layout given in twips of the client area,
// the unit the dialog was designed in: 1440 twips to the inch, so 15 twips to a
// pixel at 96 dots per inch and proportionally more pixels at higher settings.
#pragma once

#include <windows.h>

struct TwipRect {
    int controlId;
    int left, top, width, height;
};

struct TwipLayout {
    int clientWidth, clientHeight;
    const TwipRect* controls;
    size_t controlCount;
};

// Converts twips to pixels at the given dots per inch (rounded to nearest).
constexpr int TwipsToPixels(int twips, int dotsPerInch) noexcept {
    return (twips * dotsPerInch + 720) / 1440;
}

// Sizes the dialog's client area, places every control listed and centres the
// window on its screen, all at the screen's resolution.
void ApplyTwipLayout(HWND dialog, const TwipLayout& layout) noexcept;

// Places the one control `controlId` as `layout` lists it; nothing when the
// layout does not list it.
void PlaceTwipControl(HWND dialog, const TwipLayout& layout, int controlId) noexcept;
