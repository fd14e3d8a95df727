#include "ScreenPixels.h"

#include "GdiHandles.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>

namespace config_test {

namespace {

// Reads a picture from `draw`, which paints into a 32-bit top-down bitmap.
template <typename Draw> Pixels Read(int width, int height, Draw draw) {
    Pixels pixels;
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(info.bmiHeader);
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    const qs::unique_memory_dc memory(::CreateCompatibleDC(nullptr));
    const qs::unique_hbitmap bitmap(
        ::CreateDIBSection(memory.get(), &info, DIB_RGB_COLORS, &bits, nullptr, 0));
    if (!memory || !bitmap) return pixels;
    const qs::unique_selection selected = qs::SelectTemporarily(memory.get(), bitmap.get());
    draw(memory.get());
    ::GdiFlush();
    pixels.width = width;
    pixels.height = height;
    const auto* source = static_cast<const DWORD*>(bits);
    pixels.rgb.assign(source, source + static_cast<size_t>(width) * height);
    for (DWORD& pixel : pixels.rgb)
        pixel &= 0xFFFFFF;
    return pixels;
}

} // namespace

Pixels CaptureScreen(const RECT& area) {
    const int width = area.right - area.left, height = area.bottom - area.top;
    return Read(width, height, [&](HDC memory) {
        const qs::unique_window_dc screen = qs::GetWindowDc(nullptr);
        ::BitBlt(memory, 0, 0, width, height, screen.get(), area.left, area.top, SRCCOPY);
    });
}

Pixels RenderIcon(HICON icon, int width, int height, DWORD background) {
    return Read(width, height, [&](HDC memory) {
        const COLORREF colour =
            RGB((background >> 16) & 0xFF, (background >> 8) & 0xFF, background & 0xFF);
        const qs::unique_any<HBRUSH, qs::DeleteGdiObject> brush(::CreateSolidBrush(colour));
        RECT all{0, 0, width, height};
        ::FillRect(memory, &all, brush.get());
        ::DrawIconEx(memory, 0, 0, icon, 0, 0, 0, nullptr, DI_NORMAL | DI_DEFAULTSIZE);
    });
}

Pixels RenderBitmap(HBITMAP bitmap) {
    BITMAP size{};
    if (!::GetObjectW(bitmap, sizeof(size), &size)) return {};
    return Read(size.bmWidth, size.bmHeight, [&](HDC memory) {
        const qs::unique_memory_dc source(::CreateCompatibleDC(memory));
        const qs::unique_selection selected = qs::SelectTemporarily(source.get(), bitmap);
        ::BitBlt(memory, 0, 0, size.bmWidth, size.bmHeight, source.get(), 0, 0, SRCCOPY);
    });
}

long long Difference(const Pixels& a, const Pixels& b) {
    if (a.width != b.width || a.height != b.height) return -1;
    long long total = 0;
    for (size_t i = 0; i < a.rgb.size(); ++i)
        for (int shift : {0, 8, 16})
            total += std::abs(static_cast<int>((a.rgb[i] >> shift) & 0xFF) -
                              static_cast<int>((b.rgb[i] >> shift) & 0xFF));
    return total;
}

bool SaveBitmapFile(const Pixels& pixels, const std::wstring& path) {
    const int rowBytes = (pixels.width * 3 + 3) & ~3;
    BITMAPINFOHEADER info{};
    info.biSize = sizeof(info);
    info.biWidth = pixels.width;
    info.biHeight = pixels.height; // bottom row first
    info.biPlanes = 1;
    info.biBitCount = 24;
    info.biCompression = BI_RGB;
    info.biSizeImage = static_cast<DWORD>(rowBytes * pixels.height);
    BITMAPFILEHEADER file{};
    file.bfType = 0x4D42; // "BM"
    file.bfOffBits = sizeof(file) + sizeof(info);
    file.bfSize = file.bfOffBits + info.biSizeImage;

    std::ofstream out(std::filesystem::path(path), std::ios::binary);
    out.write(reinterpret_cast<const char*>(&file), sizeof(file));
    out.write(reinterpret_cast<const char*>(&info), sizeof(info));
    std::string row(static_cast<size_t>(rowBytes), '\0');
    for (int y = pixels.height - 1; y >= 0; --y) {
        for (int x = 0; x < pixels.width; ++x) {
            const DWORD pixel = pixels.At(x, y);
            row[x * 3] = static_cast<char>(pixel & 0xFF);
            row[x * 3 + 1] = static_cast<char>((pixel >> 8) & 0xFF);
            row[x * 3 + 2] = static_cast<char>((pixel >> 16) & 0xFF);
        }
        out.write(row.data(), rowBytes);
    }
    return static_cast<bool>(out);
}

} // namespace config_test
