#include "engine/restore_rules.h"

#include "engine/paths.h"
#include "runtime/cp1251.h"

namespace vestrand {

std::optional<std::wstring> OriginalPathOf(const std::vector<SourceSpot>& spots, const std::wstring& rel,
                                           const SameNameFn& same) {
    for (const auto& spot : spots)
        if (spot.role == SourceRole::Mirror && IsKeyAtOrBelow(rel, spot.MirrorKey(), same))
            return spot.form.substr(0, MirrorKeyStart(spot.form)) + rel;
    return std::nullopt;
}

std::optional<std::wstring> MirrorRelOfOriginal(const std::vector<SourceSpot>& spots,
                                                const std::wstring& path, const SameNameFn& same) {
    const size_t keyStart = MirrorKeyStart(path);
    if (keyStart == 0)
        return std::nullopt;
    std::wstring rel = path.substr(keyStart);
    while (!rel.empty() && rel.back() == L'\\')
        rel.pop_back();
    const std::wstring folderForm = rel.empty() || path.back() == L'\\' ? path : path + L"\\";
    for (const auto& spot : spots) {
        if (spot.role != SourceRole::Mirror)
            continue;
        // The source's own drive or server, and a path at or below what it lists.
        const size_t spotStart = MirrorKeyStart(spot.form);
        if (!same(path.substr(0, keyStart), spot.form.substr(0, spotStart)))
            continue;
        if (spot.folder ? IsAtOrBelow(folderForm, spot.form, same) : same(path, spot.form))
            return rel;
    }
    return std::nullopt;
}

std::wstring BesideName(const std::wstring& name, DateTime when) {
    const size_t dot = name.rfind(L'.');
    const size_t cut = dot == std::wstring::npos || dot == 0 ? name.size() : dot;
    return name.substr(0, cut) + WidenCp1251(" (восстановлено " + FormatVersionStamp(when) + ")") +
           name.substr(cut);
}

bool ParseRestoreMoment(const std::string& text, DateTime& when) {
    // "yyyy-mm-dd hh:nn" is a stamped folder's name without its seconds, with a ":" between.
    if (text.size() != 16 || text[13] != ':')
        return false;
    return ParseVersionStamp(text.substr(0, 13) + text.substr(14) + "59", when);
}

} // namespace vestrand
