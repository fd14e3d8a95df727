#include "TwipLayout.h"

#include "unique.h"

namespace {

struct ScreenResolution {
    int x, y;
};

ScreenResolution ResolutionOf(HWND window) noexcept {
    const qs::unique_window_dc dc = qs::GetWindowDc(window);
    if (!dc) return {96, 96};
    return {::GetDeviceCaps(dc.get(), LOGPIXELSX), ::GetDeviceCaps(dc.get(), LOGPIXELSY)};
}

// Centred on the monitor's work area, so that the buttons never sit under the taskbar.
void CentreOnScreen(HWND window, int width, int height) noexcept {
    MONITORINFO monitor{};
    monitor.cbSize = sizeof(monitor);
    if (!::GetMonitorInfoW(::MonitorFromWindow(window, MONITOR_DEFAULTTOPRIMARY), &monitor)) return;
    const RECT& screen = monitor.rcWork;
    const int left = screen.left + (screen.right - screen.left - width) / 2;
    const int top = screen.top + (screen.bottom - screen.top - height) / 2;
    ::SetWindowPos(window, nullptr, left, top, width, height, SWP_NOZORDER | SWP_NOACTIVATE);
}

void Place(HWND dialog, const TwipRect& twips, ScreenResolution dpi) noexcept {
    ::SetWindowPos(::GetDlgItem(dialog, twips.controlId), nullptr, TwipsToPixels(twips.left, dpi.x),
                   TwipsToPixels(twips.top, dpi.y), TwipsToPixels(twips.width, dpi.x),
                   TwipsToPixels(twips.height, dpi.y), SWP_NOZORDER | SWP_NOACTIVATE);
}

} // namespace

void ApplyTwipLayout(HWND dialog, const TwipLayout& layout) noexcept {
    const ScreenResolution dpi = ResolutionOf(dialog);
    for (size_t i = 0; i < layout.controlCount; ++i)
        Place(dialog, layout.controls[i], dpi);

    // The design gives the client area; the frame and caption come on top of it.
    RECT frame{0, 0, TwipsToPixels(layout.clientWidth, dpi.x),
               TwipsToPixels(layout.clientHeight, dpi.y)};
    ::AdjustWindowRectEx(&frame, static_cast<DWORD>(::GetWindowLongPtrW(dialog, GWL_STYLE)), FALSE,
                         static_cast<DWORD>(::GetWindowLongPtrW(dialog, GWL_EXSTYLE)));
    CentreOnScreen(dialog, frame.right - frame.left, frame.bottom - frame.top);
}

void PlaceTwipControl(HWND dialog, const TwipLayout& layout, int controlId) noexcept {
    for (size_t i = 0; i < layout.controlCount; ++i)
        if (layout.controls[i].controlId == controlId)
            Place(dialog, layout.controls[i], ResolutionOf(dialog));
}
