// Owning wrappers for platform handles: non-copyable, movable, closed on every path.
#pragma once
#include <windows.h>

#include <utility>

namespace vestrand {

template <typename Traits> class UniqueHandle {
public:
    using Type = typename Traits::Type;

    UniqueHandle() noexcept : m_h(Traits::Empty()) {}
    explicit UniqueHandle(Type h) noexcept : m_h(h) {}
    ~UniqueHandle() { Reset(); }
    UniqueHandle(const UniqueHandle&) = delete;
    UniqueHandle& operator=(const UniqueHandle&) = delete;
    UniqueHandle(UniqueHandle&& other) noexcept : m_h(other.Release()) {}
    UniqueHandle& operator=(UniqueHandle&& other) noexcept {
        if (this != &other)
            Reset(other.Release());
        return *this;
    }

    Type Get() const noexcept { return m_h; }
    bool Valid() const noexcept { return Traits::IsValid(m_h); }
    explicit operator bool() const noexcept { return Valid(); }

    Type Release() noexcept { return std::exchange(m_h, Traits::Empty()); }
    void Reset(Type h = Traits::Empty()) noexcept {
        Type old = std::exchange(m_h, h);
        if (Traits::IsValid(old))
            Traits::Close(old);
    }
    // For out-parameters of APIs such as RegOpenKeyExA: closes what is held first.
    Type* Put() noexcept {
        Reset();
        return &m_h;
    }

private:
    Type m_h;
};

struct FileHandleTraits { // CreateFileA: both NULL and INVALID_HANDLE_VALUE mean "none"
    using Type = HANDLE;
    static Type Empty() { return INVALID_HANDLE_VALUE; }
    static bool IsValid(Type h) { return h != nullptr && h != INVALID_HANDLE_VALUE; }
    static void Close(Type h) { ::CloseHandle(h); }
};
struct FindHandleTraits {
    using Type = HANDLE;
    static Type Empty() { return INVALID_HANDLE_VALUE; }
    static bool IsValid(Type h) { return h != nullptr && h != INVALID_HANDLE_VALUE; }
    static void Close(Type h) { ::FindClose(h); }
};
struct RegKeyTraits {
    using Type = HKEY;
    static Type Empty() { return nullptr; }
    static bool IsValid(Type h) { return h != nullptr; }
    static void Close(Type h) { ::RegCloseKey(h); }
};
struct GdiObjectTraits {
    using Type = HGDIOBJ;
    static Type Empty() { return nullptr; }
    static bool IsValid(Type h) { return h != nullptr; }
    static void Close(Type h) { ::DeleteObject(h); }
};
struct IconTraits {
    using Type = HICON;
    static Type Empty() { return nullptr; }
    static bool IsValid(Type h) { return h != nullptr; }
    static void Close(Type h) { ::DestroyIcon(h); }
};
struct MenuTraits {
    using Type = HMENU;
    static Type Empty() { return nullptr; }
    static bool IsValid(Type h) { return h != nullptr; }
    static void Close(Type h) { ::DestroyMenu(h); }
};
struct MemoryDcTraits { // CreateCompatibleDC
    using Type = HDC;
    static Type Empty() { return nullptr; }
    static bool IsValid(Type h) { return h != nullptr; }
    static void Close(Type h) { ::DeleteDC(h); }
};

using FileHandle = UniqueHandle<FileHandleTraits>;
using KernelHandle = UniqueHandle<FileHandleTraits>; // events and other objects closed by CloseHandle
using FindHandle = UniqueHandle<FindHandleTraits>;
using RegKey = UniqueHandle<RegKeyTraits>;
using GdiObject = UniqueHandle<GdiObjectTraits>;
using IconHandle = UniqueHandle<IconTraits>;
using MenuHandle = UniqueHandle<MenuTraits>;
using MemoryDc = UniqueHandle<MemoryDcTraits>;

// GetDC/ReleaseDC: remembers its window, so the DC goes back to the window it came from.
class WindowDc {
public:
    explicit WindowDc(HWND hwnd) : m_hwnd(hwnd), m_dc(::GetDC(hwnd)) {}
    ~WindowDc() {
        if (m_dc)
            ::ReleaseDC(m_hwnd, m_dc);
    }
    WindowDc(const WindowDc&) = delete;
    WindowDc& operator=(const WindowDc&) = delete;
    HDC Get() const { return m_dc; }
    HWND Window() const { return m_hwnd; }

private:
    HWND m_hwnd;
    HDC m_dc;
};

// BeginPaint/EndPaint.
class PaintGuard {
public:
    explicit PaintGuard(HWND hwnd) : m_hwnd(hwnd) { m_dc = ::BeginPaint(hwnd, &m_ps); }
    ~PaintGuard() { ::EndPaint(m_hwnd, &m_ps); }
    PaintGuard(const PaintGuard&) = delete;
    PaintGuard& operator=(const PaintGuard&) = delete;
    HDC Dc() const { return m_dc; }
    const RECT& Area() const { return m_ps.rcPaint; }

private:
    HWND m_hwnd;
    PAINTSTRUCT m_ps{};
    HDC m_dc = nullptr;
};

// SelectObject with the previous object put back on every path.
class SelectGuard {
public:
    SelectGuard(HDC dc, HGDIOBJ obj) : m_dc(dc), m_old(::SelectObject(dc, obj)) {}
    ~SelectGuard() {
        if (m_old)
            ::SelectObject(m_dc, m_old);
    }
    SelectGuard(const SelectGuard&) = delete;
    SelectGuard& operator=(const SelectGuard&) = delete;

private:
    HDC m_dc;
    HGDIOBJ m_old;
};

} // namespace vestrand
