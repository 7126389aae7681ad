#include "runtime/cp1251_win.h"

#include <windows.h>

namespace vestrand {

std::string NarrowCp1251(const std::wstring& text, bool* exact) {
    if (exact)
        *exact = true;
    if (text.empty())
        return std::string();
    constexpr UINT kCodePage = 1251;
    const int units = static_cast<int>(text.size());
    const int size = ::WideCharToMultiByte(kCodePage, WC_NO_BEST_FIT_CHARS, text.data(), units, nullptr, 0,
                                           nullptr, nullptr);
    std::string narrow(static_cast<size_t>(size > 0 ? size : 0), '\0');
    BOOL usedDefault = FALSE;
    const int got = ::WideCharToMultiByte(kCodePage, WC_NO_BEST_FIT_CHARS, text.data(), units, narrow.data(),
                                          size, "?", &usedDefault);
    narrow.resize(static_cast<size_t>(got > 0 ? got : 0));
    if (exact)
        *exact = got == size && size > 0 && !usedDefault;
    return narrow;
}

} // namespace vestrand
