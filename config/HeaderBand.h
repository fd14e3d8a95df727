// The dialog's header: the white band (shTop) with the banner picture (Image2),
// the two lines that give the band its etched lower edge (Line1, Line2) and the
// bold title (Label1). The items overlap, so each of their windows paints the
// whole stack, bottom to top, clipped to its own rectangle: whichever window
// the system paints first, every pixel ends up as the stacking order says.
#pragma once

#include <windows.h>

#include "GdiHandles.h"

class HeaderBand {
public:
    // Loads the banner and makes the title's font for the dialog's resolution.
    void Create(HINSTANCE instance, HWND dialog) noexcept;

    // True for the controls that make up the header.
    static bool IsPartOfHeader(UINT controlId) noexcept;

    // Answers WM_DRAWITEM for one of the header's controls.
    void Paint(HWND dialog, const DRAWITEMSTRUCT& item) const noexcept;

private:
    void PaintStack(HDC dc, HWND dialog) const;

    qs::unique_hbitmap banner_;
    qs::unique_hfont titleFont_;
};
