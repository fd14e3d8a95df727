// RAII owners for the GDI and USER objects the dialog keeps: its fonts,
// bitmaps and icons, and a device context's temporary selection.
#pragma once

#include <windows.h>

#include "unique.h"

namespace qs {

struct DeleteGdiObject {
    void operator()(HGDIOBJ object) const noexcept { ::DeleteObject(object); }
};
struct DestroyIconHandle {
    void operator()(HICON icon) const noexcept { ::DestroyIcon(icon); }
};
struct DeleteMemoryDc {
    void operator()(HDC dc) const noexcept { ::DeleteDC(dc); }
};

using unique_hfont = unique_any<HFONT, DeleteGdiObject>;
using unique_hbitmap = unique_any<HBITMAP, DeleteGdiObject>;
using unique_hicon = unique_any<HICON, DestroyIconHandle>;
using unique_memory_dc = unique_any<HDC, DeleteMemoryDc>;

// Puts an object that a selection displaced back into its device context.
struct SelectBack {
    HDC dc = nullptr;
    void operator()(HGDIOBJ previous) const noexcept { ::SelectObject(dc, previous); }
};
using unique_selection = unique_any<HGDIOBJ, SelectBack>;

// Selects an object into a device context until the result goes.
inline unique_selection SelectTemporarily(HDC dc, HGDIOBJ object) noexcept {
    return unique_selection(::SelectObject(dc, object), SelectBack{dc});
}

} // namespace qs
