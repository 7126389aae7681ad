#include "ui/dialog_rules.h"

#include <algorithm>

#include "settings/config_table.h"
#include "settings/ini_int.h"

namespace vestrand {

bool SpinHasRange(int64_t minValue, int64_t maxValue) {
    return minValue != maxValue;
}

int64_t ApplySpinRange(int64_t value, int64_t minValue, int64_t maxValue) {
    if (!SpinHasRange(minValue, maxValue))
        return value;
    if (value < minValue)
        return minValue;
    if (value > maxValue)
        return maxValue;
    return value;
}

int64_t ReadSpinValue(std::string_view text, int64_t minValue) {
    if (const auto v = TryParseIniInt(text))
        return *v;
    return minValue;
}

bool IsSpinCharAccepted(unsigned char ch) {
    return (ch >= '0' && ch <= '9') || ch == '+' || ch == '-' || ch < 0x20 || ch == 0x7F;
}

SpinHalf SpinHitTest(int x, int y, int width, int height) {
    if (width <= 0 || height <= 0 || x < 0 || y < 0 || x >= width || y >= height)
        return SpinHalf::None;
    // The pixel's centre against the line x/width + y/height = 1, in integers.
    const int64_t w = width, h = height;
    const int64_t lhs = (2 * int64_t{x} + 1) * h + (2 * int64_t{y} + 1) * w;
    return lhs < 2 * w * h ? SpinHalf::Up : SpinHalf::Down;
}

namespace {
bool Reached(uint32_t now, uint32_t due) {
    return static_cast<int32_t>(now - due) >= 0;
}
} // namespace

void SpinAutoRepeat::Press(uint32_t now) {
    m_pressed = true;
    m_due = now + kFirstDelay;
}

void SpinAutoRepeat::Release() {
    m_pressed = false;
}

bool SpinAutoRepeat::Check(uint32_t now, bool overPressedHalf) {
    if (!m_pressed || !Reached(now, m_due))
        return false;
    m_due = now + kRepeatInterval;
    return overPressedHalf;
}

uint32_t SpinAutoRepeat::MsUntilDue(uint32_t now) const {
    if (!m_pressed || Reached(now, m_due))
        return 0;
    return m_due - now;
}

std::string FolderBrowseStart(const std::string& text, const std::string& remembered,
                              const std::function<bool(const std::string&)>& folderExists) {
    static const std::string kRoot(1, '\\');
    const std::string& start = !text.empty() ? text : !remembered.empty() ? remembered : kRoot;
    return folderExists(start) ? start : kRoot;
}

std::string FolderChoiceText(const std::string& path) {
    std::string text = path;
    while (text.size() > 1 && text.back() == '\\' && !(text.size() == 3 && text[1] == ':'))
        text.pop_back();
    return text;
}

std::string FirstWord(std::string_view text) {
    std::string word;
    size_t i = 0;
    while (i < text.size() && text[i] == ' ')
        ++i;
    bool quoted = false;
    for (; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '"')
            quoted = !quoted;
        else if (c == ' ' && !quoted)
            break;
        else
            word += c;
    }
    return word;
}

std::string FileFieldStartText(const std::string& text,
                               const std::function<bool(const std::string&)>& fileExists) {
    if (!text.empty() && fileExists(text))
        return text;
    return FirstWord(text);
}

bool IsValidFileName(std::string_view text) {
    return !text.empty() && text.find_first_of("<>\"[]|") == std::string_view::npos;
}

std::string FileFolderPart(const std::string& path) {
    const auto at = path.find_last_of(":\\");
    return at == std::string::npos ? std::string() : path.substr(0, at + 1);
}

void PrepareFileDialog(FileDialogState& state, const std::string& startText,
                       const std::function<bool(const std::string&)>& folderExists) {
    if (!IsValidFileName(startText))
        return;
    const std::string folder = FileFolderPart(startText);
    if (!folder.empty() && folderExists(folder))
        state.initialDir = folder;
    state.fileName = folder.size() == startText.size() ? std::string() : startText;
}

void AcceptFileDialogChoice(FileDialogState& state, const std::string& chosenPath) {
    state.fileName = chosenPath;
    state.initialDir = FileFolderPart(chosenPath);
}

std::vector<DialogControl> DialogTabOrder(int activePage) {
    using C = DialogControl;
    switch (activePage) {
    case 0:
        return {C::PageControl, C::ListBoxDir, C::dAdd, C::dDelete, C::DirectoryEdit3};
    case 1:
        return {C::PageControl, C::ListBoxFile, C::fAdd, C::fDelete, C::FilenameEdit1};
    case 2: {
        std::vector<DialogControl> order{C::PageControl};
        for (size_t place = 0; place < ConfigSettings().size(); ++place)
            order.push_back(ConfigFieldControl(static_cast<int>(place)));
        return order;
    }
    case 3:
        return {C::PageControl, C::ListBoxExclude, C::eAdd, C::eDelete, C::ExcludeEdit};
    default:
        return {C::PageControl};
    }
}

DialogControl NextTabStop(const std::vector<DialogControl>& order, DialogControl current, bool backwards) {
    if (order.empty())
        return current;
    const auto it = std::find(order.begin(), order.end(), current);
    if (it == order.end())
        return backwards ? order.back() : order.front();
    const size_t i = static_cast<size_t>(it - order.begin());
    const size_t n = order.size();
    return order[backwards ? (i + n - 1) % n : (i + 1) % n];
}

int NextPage(int page, bool backwards) {
    const int p = ((page % kPageCount) + kPageCount) % kPageCount;
    return backwards ? (p + kPageCount - 1) % kPageCount : (p + 1) % kPageCount;
}

} // namespace vestrand
