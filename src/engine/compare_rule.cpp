#include "engine/compare_rule.h"

namespace vestrand {

bool NeedsUpdate(const TFileParam& mirror, const TFileParam& source, bool folder) {
    if (mirror.Attr != source.Attr)
        return true;
    return !folder && (mirror.Time != source.Time || mirror.Size != source.Size);
}

} // namespace vestrand
