#include "call_counter_win.h"

#include <windows.h>

#include <algorithm>
#include <atomic>
#include <cstring>

namespace vestrand::bench {

namespace {

// The functions watched: name, result, parameters, arguments.
#define VESTRAND_BENCH_APIS(X)                                                                               \
    X(FindFirstFileA, HANDLE, (LPCSTR a, LPWIN32_FIND_DATAA b), (a, b))                                      \
    X(FindNextFileA, BOOL, (HANDLE a, LPWIN32_FIND_DATAA b), (a, b))                                         \
    X(FindClose, BOOL, (HANDLE a), (a))                                                                      \
    X(GetFileAttributesA, DWORD, (LPCSTR a), (a))                                                            \
    X(SetFileAttributesA, BOOL, (LPCSTR a, DWORD b), (a, b))                                                 \
    X(CreateDirectoryA, BOOL, (LPCSTR a, LPSECURITY_ATTRIBUTES b), (a, b))                                   \
    X(RemoveDirectoryA, BOOL, (LPCSTR a), (a))                                                               \
    X(CopyFileA, BOOL, (LPCSTR a, LPCSTR b, BOOL c), (a, b, c))                                              \
    X(DeleteFileA, BOOL, (LPCSTR a), (a))                                                                    \
    X(MoveFileExA, BOOL, (LPCSTR a, LPCSTR b, DWORD c), (a, b, c))                                           \
    X(MoveFileA, BOOL, (LPCSTR a, LPCSTR b), (a, b))                                                         \
    X(CreateFileA, HANDLE,                                                                                   \
      (LPCSTR a, DWORD b, DWORD c, LPSECURITY_ATTRIBUTES d, DWORD e, DWORD f, HANDLE g),                     \
      (a, b, c, d, e, f, g))                                                                                 \
    X(CloseHandle, BOOL, (HANDLE a), (a))                                                                    \
    X(ReadFile, BOOL, (HANDLE a, LPVOID b, DWORD c, LPDWORD d, LPOVERLAPPED e), (a, b, c, d, e))             \
    X(WriteFile, BOOL, (HANDLE a, LPCVOID b, DWORD c, LPDWORD d, LPOVERLAPPED e), (a, b, c, d, e))           \
    X(GetFileSize, DWORD, (HANDLE a, LPDWORD b), (a, b))                                                     \
    X(GetFileSizeEx, BOOL, (HANDLE a, PLARGE_INTEGER b), (a, b))                                             \
    X(SetFileTime, BOOL, (HANDLE a, const FILETIME* b, const FILETIME* c, const FILETIME* d), (a, b, c, d))  \
    X(GetFileTime, BOOL, (HANDLE a, LPFILETIME b, LPFILETIME c, LPFILETIME d), (a, b, c, d))                 \
    X(CompareStringA, int, (LCID a, DWORD b, PCNZCH c, int d, PCNZCH e, int f), (a, b, c, d, e, f))          \
    X(LCMapStringA, int, (LCID a, DWORD b, LPCSTR c, int d, LPSTR e, int f), (a, b, c, d, e, f))             \
    X(FileTimeToLocalFileTime, BOOL, (const FILETIME* a, LPFILETIME b), (a, b))                              \
    X(FileTimeToDosDateTime, BOOL, (const FILETIME* a, LPWORD b, LPWORD c), (a, b, c))                       \
    X(GetLocalTime, void, (LPSYSTEMTIME a), (a))                                                             \
    X(GetLocaleInfoA, int, (LCID a, LCTYPE b, LPSTR c, int d), (a, b, c, d))                                 \
    X(GetDiskFreeSpaceA, BOOL, (LPCSTR a, LPDWORD b, LPDWORD c, LPDWORD d, LPDWORD e), (a, b, c, d, e))      \
    X(GetDiskFreeSpaceExA, BOOL, (LPCSTR a, PULARGE_INTEGER b, PULARGE_INTEGER c, PULARGE_INTEGER d),        \
      (a, b, c, d))                                                                                          \
    X(GetFullPathNameA, DWORD, (LPCSTR a, DWORD b, LPSTR c, LPSTR * d), (a, b, c, d))                        \
    X(FindFirstFileW, HANDLE, (LPCWSTR a, LPWIN32_FIND_DATAW b), (a, b))                                     \
    X(FindFirstFileExW, HANDLE,                                                                              \
      (LPCWSTR a, FINDEX_INFO_LEVELS b, LPVOID c, FINDEX_SEARCH_OPS d, LPVOID e, DWORD f),                   \
      (a, b, c, d, e, f))                                                                                    \
    X(FindNextFileW, BOOL, (HANDLE a, LPWIN32_FIND_DATAW b), (a, b))                                         \
    X(GetFileAttributesW, DWORD, (LPCWSTR a), (a))                                                           \
    X(GetFileAttributesExW, BOOL, (LPCWSTR a, GET_FILEEX_INFO_LEVELS b, LPVOID c), (a, b, c))                \
    X(SetFileAttributesW, BOOL, (LPCWSTR a, DWORD b), (a, b))                                                \
    X(CreateDirectoryW, BOOL, (LPCWSTR a, LPSECURITY_ATTRIBUTES b), (a, b))                                  \
    X(RemoveDirectoryW, BOOL, (LPCWSTR a), (a))                                                              \
    X(CopyFileW, BOOL, (LPCWSTR a, LPCWSTR b, BOOL c), (a, b, c))                                            \
    X(DeleteFileW, BOOL, (LPCWSTR a), (a))                                                                   \
    X(MoveFileExW, BOOL, (LPCWSTR a, LPCWSTR b, DWORD c), (a, b, c))                                         \
    X(CreateFileW, HANDLE,                                                                                   \
      (LPCWSTR a, DWORD b, DWORD c, LPSECURITY_ATTRIBUTES d, DWORD e, DWORD f, HANDLE g),                    \
      (a, b, c, d, e, f, g))                                                                                 \
    X(GetFileInformationByHandle, BOOL, (HANDLE a, LPBY_HANDLE_FILE_INFORMATION b), (a, b))                  \
    X(CompareStringW, int, (LCID a, DWORD b, PCNZWCH c, int d, PCNZWCH e, int f), (a, b, c, d, e, f))        \
    X(LCMapStringW, int, (LCID a, DWORD b, LPCWSTR c, int d, LPWSTR e, int f), (a, b, c, d, e, f))           \
    X(GetDiskFreeSpaceW, BOOL, (LPCWSTR a, LPDWORD b, LPDWORD c, LPDWORD d, LPDWORD e), (a, b, c, d, e))     \
    X(GetDiskFreeSpaceExW, BOOL, (LPCWSTR a, PULARGE_INTEGER b, PULARGE_INTEGER c, PULARGE_INTEGER d),       \
      (a, b, c, d))                                                                                          \
    X(GetFullPathNameW, DWORD, (LPCWSTR a, DWORD b, LPWSTR c, LPWSTR * d), (a, b, c, d))                     \
    X(GetLongPathNameW, DWORD, (LPCWSTR a, LPWSTR b, DWORD c), (a, b, c))

enum Api {
#define VESTRAND_ENUM(name, ret, params, args) k_##name,
    VESTRAND_BENCH_APIS(VESTRAND_ENUM)
#undef VESTRAND_ENUM
        kApiCount
};

struct Slot {
    const char* Name;
    void* Wrapper;
    void** Real;
    std::atomic<int64_t> Calls; // the pass's copiers call from threads of their own
    std::atomic<int64_t> Ticks;
};

bool g_timing = false;

// Counts one call for the lifetime of the object, and its duration when timing is on.
class Probe {
public:
    explicit Probe(Slot& s) : m_slot(s) {
        ++s.Calls;
        if (g_timing)
            QueryPerformanceCounter(&m_start);
    }
    ~Probe() {
        if (g_timing) {
            LARGE_INTEGER end;
            QueryPerformanceCounter(&end);
            m_slot.Ticks += end.QuadPart - m_start.QuadPart;
        }
    }
    Probe(const Probe&) = delete;
    Probe& operator=(const Probe&) = delete;

private:
    Slot& m_slot;
    LARGE_INTEGER m_start{};
};

extern Slot g_slots[kApiCount];

#define VESTRAND_WRAPPER(name, ret, params, args)                                                            \
    ret(WINAPI* g_real_##name) params = nullptr;                                                             \
    ret WINAPI Counted_##name params {                                                                       \
        Probe probe(g_slots[k_##name]);                                                                      \
        return g_real_##name args;                                                                           \
    }
VESTRAND_BENCH_APIS(VESTRAND_WRAPPER)
#undef VESTRAND_WRAPPER

Slot g_slots[kApiCount] = {
#define VESTRAND_SLOT(name, ret, params, args)                                                               \
    {#name, reinterpret_cast<void*>(&Counted_##name), reinterpret_cast<void**>(&g_real_##name), 0, 0},
    VESTRAND_BENCH_APIS(VESTRAND_SLOT)
#undef VESTRAND_SLOT
};

FARPROC(WINAPI* g_realGetProcAddress)(HMODULE, LPCSTR) = nullptr;

// Functions looked up at run time (the free-space query) get their wrapper too.
FARPROC WINAPI CountedGetProcAddress(HMODULE module, LPCSTR name) {
    const FARPROC real = g_realGetProcAddress(module, name);
    if (!real || reinterpret_cast<ULONG_PTR>(name) <= 0xFFFF)
        return real;
    for (auto& slot : g_slots) {
        if (std::strcmp(slot.Name, name) == 0) {
            if (!*slot.Real)
                *slot.Real = reinterpret_cast<void*>(real);
            return reinterpret_cast<FARPROC>(slot.Wrapper);
        }
    }
    return real;
}

void Redirect(ULONG_PTR* entry, void* to) {
    DWORD old = 0;
    VirtualProtect(entry, sizeof *entry, PAGE_READWRITE, &old);
    *entry = reinterpret_cast<ULONG_PTR>(to);
    VirtualProtect(entry, sizeof *entry, old, &old);
}

int PatchImports() {
    auto* base = reinterpret_cast<BYTE*>(GetModuleHandleA(nullptr));
    const auto* dos = reinterpret_cast<IMAGE_DOS_HEADER*>(base);
    const auto* nt = reinterpret_cast<IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
    const IMAGE_DATA_DIRECTORY& dir = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    if (dir.VirtualAddress == 0)
        return 0;
    int patched = 0;
    for (auto* desc = reinterpret_cast<IMAGE_IMPORT_DESCRIPTOR*>(base + dir.VirtualAddress); desc->Name;
         ++desc) {
        auto* names = reinterpret_cast<IMAGE_THUNK_DATA*>(
            base + (desc->OriginalFirstThunk ? desc->OriginalFirstThunk : desc->FirstThunk));
        auto* slots = reinterpret_cast<IMAGE_THUNK_DATA*>(base + desc->FirstThunk);
        for (; names->u1.AddressOfData; ++names, ++slots) {
            if (IMAGE_SNAP_BY_ORDINAL(names->u1.Ordinal))
                continue;
            const auto* byName = reinterpret_cast<IMAGE_IMPORT_BY_NAME*>(base + names->u1.AddressOfData);
            const char* name = reinterpret_cast<const char*>(byName->Name);
            if (std::strcmp(name, "GetProcAddress") == 0) {
                g_realGetProcAddress = reinterpret_cast<decltype(g_realGetProcAddress)>(slots->u1.Function);
                Redirect(&slots->u1.Function, reinterpret_cast<void*>(&CountedGetProcAddress));
                ++patched;
                continue;
            }
            for (auto& slot : g_slots) {
                if (std::strcmp(slot.Name, name) == 0) {
                    *slot.Real = reinterpret_cast<void*>(slots->u1.Function);
                    Redirect(&slots->u1.Function, slot.Wrapper);
                    ++patched;
                    break;
                }
            }
        }
    }
    return patched;
}

} // namespace

int InstallCallCounter(bool withTimes) {
    static const int patched = PatchImports();
    g_timing = withTimes;
    return patched;
}

void ResetCallCounts() {
    for (auto& slot : g_slots) {
        slot.Calls = 0;
        slot.Ticks = 0;
    }
}

std::vector<ApiCalls> CallCounts() {
    LARGE_INTEGER freq;
    QueryPerformanceFrequency(&freq);
    std::vector<ApiCalls> out;
    const auto tickSeconds = 1.0 / static_cast<double>(freq.QuadPart);
    for (const auto& slot : g_slots)
        if (slot.Calls > 0)
            out.push_back({slot.Name, slot.Calls, static_cast<double>(slot.Ticks) * tickSeconds});
    std::sort(out.begin(), out.end(), [](const ApiCalls& a, const ApiCalls& b) {
        return a.Seconds != b.Seconds ? a.Seconds > b.Seconds : a.Calls > b.Calls;
    });
    return out;
}

int64_t CallCount(const std::string& name) {
    for (const auto& slot : g_slots)
        if (name == slot.Name)
            return slot.Calls;
    return 0;
}

} // namespace vestrand::bench
