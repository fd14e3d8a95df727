#include "HeaderBand.h"

#include <algorithm>
#include <string>

#include "WindowText.h"
#include "resource.h"

namespace {

const COLORREF kBandColour = RGB(255, 255, 255);
const COLORREF kShadowLineColour = RGB(192, 192, 192);
const COLORREF kLightLineColour = RGB(255, 255, 255);

// The title's font: MS Sans Serif 8.25 pt bold.
constexpr int kTitleHundredthsOfPoint = 825;

RECT RectInDialog(HWND dialog, int controlId) noexcept {
    RECT rect{};
    HWND control = ::GetDlgItem(dialog, controlId);
    ::GetWindowRect(control, &rect);
    ::MapWindowPoints(HWND_DESKTOP, dialog, reinterpret_cast<POINT*>(&rect), 2);
    return rect;
}

void Fill(HDC dc, const RECT& rect, COLORREF colour) noexcept {
    ::SetBkColor(dc, colour);
    ::ExtTextOutW(dc, 0, 0, ETO_OPAQUE, &rect, nullptr, 0, nullptr);
}

} // namespace

void HeaderBand::Create(HINSTANCE instance, HWND dialog) noexcept {
    banner_.reset(static_cast<HBITMAP>(::LoadImageW(instance, MAKEINTRESOURCEW(IDB_BANNER),
                                                    IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION)));
    int dotsPerInch = 96;
    if (const qs::unique_window_dc dc = qs::GetWindowDc(dialog))
        dotsPerInch = ::GetDeviceCaps(dc.get(), LOGPIXELSY);
    LOGFONTW font{};
    font.lfHeight = -::MulDiv(kTitleHundredthsOfPoint, dotsPerInch, 72 * 100);
    font.lfWeight = FW_BOLD;
    font.lfCharSet = DEFAULT_CHARSET;
    wcscpy_s(font.lfFaceName, L"MS Sans Serif");
    titleFont_.reset(::CreateFontIndirectW(&font));
}

bool HeaderBand::IsPartOfHeader(UINT controlId) noexcept {
    switch (controlId) {
    case IDC_shTop:
    case IDC_Image2:
    case IDC_Line1:
    case IDC_Line2:
    case IDC_Label1:
        return true;
    default:
        return false;
    }
}

void HeaderBand::Paint(HWND dialog, const DRAWITEMSTRUCT& item) const noexcept try {
    HDC dc = item.hDC;
    // The device context is the system's: it goes back as it came, also when painting throws.
    const qs::unique_saved_dc saved = qs::SaveDc(dc);
    // Draw in the dialog's coordinates; the control's own area clips the result.
    const RECT self = RectInDialog(dialog, static_cast<int>(item.CtlID));
    ::SetViewportOrgEx(dc, -self.left, -self.top, nullptr);
    PaintStack(dc, dialog);
} catch (...) {
    // Nothing to report from a paint; the next one tries again.
}

// Bottom to top: shTop, Image2, Line1, Line2, Label1.
void HeaderBand::PaintStack(HDC dc, HWND dialog) const {
    Fill(dc, RectInDialog(dialog, IDC_shTop), kBandColour);

    if (banner_) {
        // Shown at its own size, never stretched, within the picture's area.
        const RECT picture = RectInDialog(dialog, IDC_Image2);
        BITMAP size{};
        ::GetObjectW(banner_.get(), sizeof(size), &size);
        qs::unique_memory_dc source(::CreateCompatibleDC(dc));
        if (source) {
            const qs::unique_selection selected =
                qs::SelectTemporarily(source.get(), banner_.get());
            ::BitBlt(dc, picture.left, picture.top,
                     std::min<int>(size.bmWidth, picture.right - picture.left),
                     std::min<int>(size.bmHeight, picture.bottom - picture.top), source.get(), 0, 0,
                     SRCCOPY);
        }
    }

    Fill(dc, RectInDialog(dialog, IDC_Line1), kShadowLineColour);
    Fill(dc, RectInDialog(dialog, IDC_Line2), kLightLineColour);

    RECT titleRect = RectInDialog(dialog, IDC_Label1);
    const std::wstring text = WindowText(::GetDlgItem(dialog, IDC_Label1));
    const qs::unique_selection font =
        qs::SelectTemporarily(dc, titleFont_ ? static_cast<HGDIOBJ>(titleFont_.get())
                                             : ::GetStockObject(DEFAULT_GUI_FONT));
    // Transparent: the band and the picture show through around the letters.
    ::SetBkMode(dc, TRANSPARENT);
    ::SetTextColor(dc, ::GetSysColor(COLOR_BTNTEXT));
    ::DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &titleRect,
                DT_LEFT | DT_TOP | DT_WORDBREAK | DT_NOPREFIX);
}
