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

// Selects an object into a device context and puts the previous one back.
class scoped_select {
public:
    scoped_select(HDC dc, HGDIOBJ object) noexcept
        : dc_(dc), previous_(::SelectObject(dc, object)) {}
    scoped_select(const scoped_select&) = delete;
    scoped_select& operator=(const scoped_select&) = delete;
    ~scoped_select() {
        if (previous_) ::SelectObject(dc_, previous_);
    }

private:
    HDC dc_;
    HGDIOBJ previous_;
};

} // namespace qs
