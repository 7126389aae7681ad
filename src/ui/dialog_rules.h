// Rules of the settings dialog's controls that need no window system: the number field's range,
// reading and key filter, the diagonal spin button, its auto-repeat, the start of the two pickers
// and the dialog's tab order.
#pragma once
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace vestrand {

// ---- Number field with spin button ------------------------------------------------------------

// A range applies only when its bounds differ.
bool SpinHasRange(int64_t minValue, int64_t maxValue);
// `value` brought into minValue..maxValue when a range applies; unchanged otherwise.
int64_t ApplySpinRange(int64_t value, int64_t minValue, int64_t maxValue);
// The field's text read as a signed 32-bit integer by the settings file's rules; minValue when the
// text is not one.
int64_t ReadSpinValue(std::string_view text, int64_t minValue);
// Characters the field accepts when typed: digits, "+", "-" and control characters (Backspace,
// Ctrl+C, Ctrl+V, ...). Everything else is refused.
bool IsSpinCharAccepted(unsigned char ch);

// The two halves of the spin button, divided by the diagonal from its lower-left to its upper-right
// corner: the upper-left half steps up, the lower-right half (the diagonal included) steps down.
enum class SpinHalf { None, Up, Down };
SpinHalf SpinHitTest(int x, int y, int width, int height);

// Auto-repeat of a held spin half: one step at the press, the next after kFirstDelay, then one every
// kRepeatInterval. Ticks are milliseconds of a wrapping 32-bit clock (GetTickCount). A late check
// gives one step, never a burst, and the next one is due an interval after it. While the pointer is
// off the pressed half nothing steps; the schedule goes on.
class SpinAutoRepeat {
public:
    static constexpr uint32_t kFirstDelay = 400;
    static constexpr uint32_t kRepeatInterval = 100;

    void Press(uint32_t now); // the caller makes the press's own step
    void Release();
    bool Pressed() const { return m_pressed; }
    // True when a step is due at `now` (and the pointer is over the pressed half).
    bool Check(uint32_t now, bool overPressedHalf);
    // Milliseconds from `now` until the next step is due (0 when already due, or not pressed).
    uint32_t MsUntilDue(uint32_t now) const;

private:
    bool m_pressed = false;
    uint32_t m_due = 0;
};

// ---- Folder field ------------------------------------------------------------------------------

// The folder the browser starts at: the field's text; when it is empty the folder last chosen
// through the field, or "\" when there is none; "\" again when that is not an existing folder.
std::string FolderBrowseStart(const std::string& text, const std::string& remembered,
                              const std::function<bool(const std::string&)>& folderExists);
// The chosen folder as the field shows it: no trailing separator, except for a drive root (C:\).
std::string FolderChoiceText(const std::string& path);

// ---- File field --------------------------------------------------------------------------------

// The first blank-separated word of `text`; a stretch in double quotes belongs to one word and its
// quotes are dropped.
std::string FirstWord(std::string_view text);
// The text the file dialog starts from: the field's text when it names an existing file, otherwise
// its first word.
std::string FileFieldStartText(const std::string& text,
                               const std::function<bool(const std::string&)>& fileExists);
// Not empty and free of < > " [ ] |.
bool IsValidFileName(std::string_view text);
// The folder part of a file name, separator included (C:\Data\a.txt gives C:\Data\, C:a gives C:);
// empty for a bare name.
std::string FileFolderPart(const std::string& path);

// What the file dialog remembers between its openings.
struct FileDialogState {
    std::string initialDir; // empty: the platform's default folder
    std::string fileName;   // empty: no name filled in
};
// Prepares the dialog from the start text: a valid name sets the file name (nothing when its name
// part is empty) and, when its folder exists, the start folder; anything else keeps the state of
// the previous opening.
void PrepareFileDialog(FileDialogState& state, const std::string& startText,
                       const std::function<bool(const std::string&)>& folderExists);
// A chosen file: its full path is the next file name, its folder the next start folder.
void AcceptFileDialogChoice(FileDialogState& state, const std::string& chosenPath);

// ---- Tab order ---------------------------------------------------------------------------------

enum class DialogControl {
    PageControl,
    ListBoxDir,
    dAdd,
    dDelete,
    DirectoryEdit3,
    ListBoxFile,
    fAdd,
    fDelete,
    FilenameEdit1,
    ListBoxExclude,
    eAdd,
    eDelete,
    ExcludeEdit,
    // The fields of the page «Прочее» by their place in the settings table: the first four by name,
    // any field below them as ConfigFieldControl(place).
    Edit1,
    DirectoryEdit1,
    RxSpinEdit1,
    RxSpinEdit2,
};
constexpr DialogControl ConfigFieldControl(int place) {
    return static_cast<DialogControl>(static_cast<int>(DialogControl::Edit1) + place);
}
inline constexpr int kPageCount = 4; // pageDirs, pageFiles, pageOther, pageExclude

// The tab stops while page `activePage` is shown: the page control, then that page's controls.
std::vector<DialogControl> DialogTabOrder(int activePage);
// The stop after (or before) `current`, wrapping around; the first (or last) stop when `current` is
// not in `order`.
DialogControl NextTabStop(const std::vector<DialogControl>& order, DialogControl current, bool backwards);
// The page Ctrl+Tab (or Ctrl+Shift+Tab) moves to, wrapping around.
int NextPage(int page, bool backwards);

} // namespace vestrand
