#include "engine/held_versions.h"

#include "runtime/cp1251.h"

namespace vestrand {

std::wstring StampedFolderName(DateTime start) {
    return WidenCp1251(FormatVersionStamp(start));
}

bool StampOfFolderName(const std::wstring& name, DateTime& stamp) {
    return ParseVersionStamp(JournalText(name), stamp);
}

bool SameStamp(DateTime a, DateTime b) {
    return FormatVersionStamp(a) == FormatVersionStamp(b);
}

} // namespace vestrand
