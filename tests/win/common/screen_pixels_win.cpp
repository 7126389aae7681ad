#include "screen_pixels.h"

#include <sstream>

namespace vestrand::test {
namespace {

// Copies from `source` at x, y into a 32-bit top-down bitmap and reads it back.
template <typename Draw> Pixels Capture(int width, int height, Draw draw) {
    Pixels p;
    if (width <= 0 || height <= 0)
        return p;
    HDC screen = ::GetDC(nullptr);
    HDC memory = ::CreateCompatibleDC(screen);
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    HBITMAP bitmap = ::CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    HGDIOBJ old = ::SelectObject(memory, bitmap);
    draw(memory, screen);
    ::GdiFlush();
    p.width = width;
    p.height = height;
    p.data.reserve(static_cast<size_t>(width) * height);
    const auto* quads = static_cast<const RGBQUAD*>(bits);
    for (int i = 0; i < width * height; ++i)
        p.data.push_back(RGB(quads[i].rgbRed, quads[i].rgbGreen, quads[i].rgbBlue));
    ::SelectObject(memory, old);
    ::DeleteObject(bitmap);
    ::DeleteDC(memory);
    ::ReleaseDC(nullptr, screen);
    return p;
}

} // namespace

std::string Pixels::Difference(const Pixels& other) const {
    if (width != other.width || height != other.height) {
        std::ostringstream out;
        out << "size " << width << "x" << height << " against " << other.width << "x" << other.height;
        return out.str();
    }
    int count = 0, firstX = -1, firstY = -1;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            if (At(x, y) != other.At(x, y) && count++ == 0) {
                firstX = x;
                firstY = y;
            }
    if (count == 0)
        return "";
    std::ostringstream out;
    out << count << " of " << width * height << " pixels differ, the first at (" << firstX << "," << firstY
        << "): " << std::hex << At(firstX, firstY) << " against " << other.At(firstX, firstY);
    return out.str();
}

Pixels GrabScreen(const RECT& area) {
    return Capture(area.right - area.left, area.bottom - area.top, [&](HDC memory, HDC screen) {
        ::BitBlt(memory, 0, 0, area.right - area.left, area.bottom - area.top, screen, area.left, area.top,
                 SRCCOPY);
    });
}

Pixels GrabClient(HWND hwnd) {
    RECT rc{};
    ::GetClientRect(hwnd, &rc);
    ::MapWindowPoints(hwnd, nullptr, reinterpret_cast<POINT*>(&rc), 2);
    return GrabScreen(rc);
}

Pixels PrintClient(HWND hwnd) {
    RECT rc{};
    ::GetClientRect(hwnd, &rc);
    return Capture(rc.right, rc.bottom, [&](HDC memory, HDC) {
        ::SendMessageA(hwnd, WM_PRINTCLIENT, reinterpret_cast<WPARAM>(memory), PRF_CLIENT | PRF_ERASEBKGND);
    });
}

} // namespace vestrand::test
