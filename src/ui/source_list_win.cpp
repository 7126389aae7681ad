#include "ui/source_list_win.h"

#include "engine/exclusions.h"
#include "runtime/dpi_win.h"
#include "runtime/window_win.h"

namespace vestrand {
namespace {

constexpr int kPageWidth = 405;
constexpr int kPageHeight = 245;

std::string ListItem(HWND list, int index) {
    const LRESULT length = ::SendMessageA(list, LB_GETTEXTLEN, static_cast<WPARAM>(index), 0);
    if (length == LB_ERR)
        return std::string();
    std::vector<char> buffer(static_cast<size_t>(length) + 1);
    const LRESULT got =
        ::SendMessageA(list, LB_GETTEXT, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(buffer.data()));
    return got == LB_ERR ? std::string() : std::string(buffer.data(), static_cast<size_t>(got));
}

HWND MakeButton(HWND page, int id, const char* caption, int x) {
    return CreateControl("BUTTON", caption, WS_TABSTOP | BS_PUSHBUTTON, 0, x, 24, 75, 25, page, id);
}

} // namespace

SourceList::SourceList(std::unique_ptr<ButtonEdit> field, Ids ids, EntryKind entries)
    : m_field(std::move(field)), m_ids(ids), m_entries(entries) {}

void SourceList::Create(HWND page, int listTop, int fieldTop) {
    // Creation order is the tab order: list, "Добавить", "Удалить", field.
    m_list = CreateControl("LISTBOX", "", WS_TABSTOP | WS_VSCROLL | LBS_NOTIFY | LBS_NOINTEGRALHEIGHT,
                           WS_EX_CLIENTEDGE, 0, listTop, kPageWidth, kPageHeight - listTop, page, m_ids.list);
    ScaleRows(); // after the font, which resets them
    m_add = MakeButton(page, m_ids.add, "Добавить", 240);
    m_delete = MakeButton(page, m_ids.remove, "Удалить", 328);
    m_field->Create(page, m_ids.field, 6, fieldTop, 393, 21);
    if (auto* browse = dynamic_cast<BrowseEdit*>(m_field.get()))
        browse->OnBeforeDialog = [this](std::string&) { m_entry = -1; };
}

void SourceList::ScaleRows() {
    ::SendMessageA(m_list, LB_SETITEMHEIGHT, 0, ScaleToDpi(13, LayoutDpi(m_list)));
}

bool SourceList::OnCommand(int id, int code) {
    if (id == m_ids.list) {
        if (code == LBN_SELCHANGE)
            ListClick();
    } else if (id == m_ids.add) {
        if (code == BN_CLICKED)
            AddClick();
    } else if (id == m_ids.remove) {
        if (code == BN_CLICKED)
            DeleteClick();
    } else {
        return false;
    }
    return true;
}

void SourceList::Fill(const std::vector<std::string>& items) {
    ::SendMessageA(m_list, LB_RESETCONTENT, 0, 0);
    for (const auto& item : items)
        ::SendMessageA(m_list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(item.c_str()));
    Reset();
}

std::vector<std::string> SourceList::Items() const {
    std::vector<std::string> items;
    const LRESULT count = ::SendMessageA(m_list, LB_GETCOUNT, 0, 0);
    for (LRESULT i = 0; i < count; ++i)
        items.push_back(ListItem(m_list, static_cast<int>(i)));
    return items;
}

void SourceList::ListClick() {
    const LRESULT n = ::SendMessageA(m_list, LB_GETCURSEL, 0, 0);
    if (n < 0)
        return;
    m_field->SetText(ListItem(m_list, static_cast<int>(n)));
    m_entry = static_cast<int>(n);
}

void SourceList::AddClick() {
    const std::wstring typed = m_field->WideText();
    if (typed.empty() || m_entry >= 0)
        return;
    std::string entry;
    if (!AcceptEntry(::GetAncestor(m_list, GA_ROOT), m_entries, typed, entry))
        return; // the list stays as it is, the field keeps the text to be corrected
    // The blanks around a pattern are no part of it (loading drops them too); blanks alone are none.
    if (m_entries == EntryKind::Pattern) {
        entry = TrimBlanks(entry);
        if (entry.empty())
            return;
    }
    ::SendMessageA(m_list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(entry.c_str()));
    Reset();
}

void SourceList::DeleteClick() {
    if (m_entry < 0)
        return;
    ::SendMessageA(m_list, LB_DELETESTRING, static_cast<WPARAM>(m_entry), 0);
    Reset();
}

void SourceList::Reset() {
    m_entry = -1;
    m_field->SetText("");
}

} // namespace vestrand
