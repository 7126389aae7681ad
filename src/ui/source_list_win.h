// A list of settings entries with its entry field and its two buttons: the folders, files and
// exclusions pages of the settings dialog are one of these each.
#pragma once
#include <windows.h>

#include <memory>
#include <string>
#include <vector>

#include "ui/browse_edit_win.h"

namespace vestrand {

// Selecting an entry shows it in the field and keeps its index (the entry index); "Добавить"
// appends the field's text when it is not empty and no entry index is kept; "Удалить" deletes the
// entry of the kept index whatever the field shows. Both then empty the field and drop the index,
// as does opening the field's picker where it has one. Text code page 1251 cannot hold is refused
// by AcceptEntry. A path is taken as typed; a pattern without the blanks around it, and not
// when nothing else is left.
class SourceList {
public:
    struct Ids {
        int list, add, remove, field;
    };
    SourceList(std::unique_ptr<ButtonEdit> field, Ids ids, EntryKind entries);

    // `listTop`, `fieldTop`: where the list and the field stand on the page.
    void Create(HWND page, int listTop, int fieldTop);
    // The list's rows at the height of the page's scale (13 pixels at 96 dpi), again after the font
    // of a new scale has reset them.
    void ScaleRows();
    // A command of one of its controls; false when it was none of them.
    bool OnCommand(int id, int code);

    // Fills the list, empties the field and drops the entry index.
    void Fill(const std::vector<std::string>& items);
    std::vector<std::string> Items() const;

    HWND List() const { return m_list; }
    HWND AddButton() const { return m_add; }
    HWND DeleteButton() const { return m_delete; }
    ButtonEdit& Field() const { return *m_field; }

private:
    void ListClick();
    void AddClick();
    void DeleteClick();
    void Reset();

    std::unique_ptr<ButtonEdit> m_field;
    Ids m_ids;
    EntryKind m_entries;
    HWND m_list = nullptr;
    HWND m_add = nullptr;
    HWND m_delete = nullptr;
    int m_entry = -1;
};

} // namespace vestrand
