#include "engine/compare_rule.h"

namespace vestrand {

bool NeedsUpdate(const TFileParam& mirror, const TFileParam& source, bool folder) {
    if (mirror.Attr != source.Attr)
        return true;
    return !folder && (mirror.Time != source.Time || mirror.Size != source.Size);
}

Act DecideAct(const TFileParam* mirror, const TFileParam& source, bool refused) {
    if (refused)
        return Act::Refuse;
    if (!mirror)
        return Act::Copy;
    if (((mirror->Attr ^ source.Attr) & kFolderAttr) || (mirror->Attr & kLinkAttr))
        return Act::Replace; // a file became a folder or the reverse, or a link
    return NeedsUpdate(*mirror, source, (source.Attr & kFolderAttr) != 0) ? Act::Update : Act::Keep;
}

} // namespace vestrand
