#include "engine/compare_rule.h"

namespace vestrand {

bool NeedsUpdate(const EntryStamp& mirror, const EntryStamp& source, bool folder) {
    if (mirror.attr != source.attr)
        return true;
    return !folder && (mirror.time != source.time || mirror.size != source.size);
}

} // namespace vestrand
