#include "runtime/platform_win.h"

#include <atomic>

namespace vestrand {
namespace {

char ReadTimeSeparator() {
    char buf[8] = {};
    if (::GetLocaleInfoA(::GetThreadLocale(), LOCALE_STIME, buf, sizeof buf) > 0 && buf[0] != '\0')
        return buf[0];
    return ':';
}

std::atomic<char> g_timeSeparator{'\0'};

} // namespace

char TimeSeparator() {
    char sep = g_timeSeparator.load();
    if (sep == '\0') {
        sep = ReadTimeSeparator();
        g_timeSeparator.store(sep);
    }
    return sep;
}

void RefreshTimeSeparator() {
    g_timeSeparator.store(ReadTimeSeparator());
}

DateTime FromSystemTime(const SYSTEMTIME& st) {
    CivilTime t;
    t.year = st.wYear;
    t.month = st.wMonth;
    t.day = st.wDay;
    t.hour = st.wHour;
    t.minute = st.wMinute;
    t.second = st.wSecond;
    t.millisecond = st.wMilliseconds;
    return EncodeDateTime(t);
}

DateTime SystemClock::Now() {
    SYSTEMTIME st;
    ::GetLocalTime(&st);
    return FromSystemTime(st);
}

RegKey OpenOrCreateKey(HKEY root, const std::string& path, REGSAM access) {
    RegKey key;
    if (::RegCreateKeyExA(root, path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, access, nullptr, key.Put(),
                          nullptr) != ERROR_SUCCESS)
        key.Reset();
    return key;
}

std::string ExecutablePath() {
    std::string path(MAX_PATH, '\0');
    for (;;) {
        const DWORD n = ::GetModuleFileNameA(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (n == 0)
            return std::string();
        if (n < path.size()) {
            path.resize(n);
            return path;
        }
        path.resize(path.size() * 2);
    }
}

} // namespace vestrand

namespace vestrand {

std::string SystemErrorText(unsigned long code) {
    char* buffer = nullptr;
    const DWORD length = ::FormatMessageA(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
        code, MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT), reinterpret_cast<char*>(&buffer), 0, nullptr);
    std::string text(buffer ? buffer : "", length);
    if (buffer)
        ::LocalFree(buffer);
    while (!text.empty() &&
           (text.back() == '\r' || text.back() == '\n' || text.back() == ' ' || text.back() == '.'))
        text.pop_back();
    return text.empty() ? "ошибка " + std::to_string(code) : text;
}

} // namespace vestrand
