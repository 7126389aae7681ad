// The three lists and their entry fields: the Tag rules of selecting, adding and deleting, what every
// opening resets, and the lists reaching the settings file as they stand.
#include "dialog_runner.h"

#include <commctrl.h>

using namespace vestrand;
using namespace vestrand::test;
using C = DialogControl;

TEST_F(DialogTest, EachListAddsOnlyATypedNewEntryAndDeletesOnlyTheSelectedOne) {
    const struct {
        Lines entries;
        const char *typed, *typedOver, *added, *blanks = ""; // blanks alone, and around a pattern, are none
    } cases[] = {
        {{"C:\\A", "C:\\B", "C:\\C", "C:\\D"}, "X", "other text", "new folder text"},
        {{"C:\\f1.txt", "C:\\My Docs\\f 2.txt", "C:\\f3.txt"}, "Z", "typed over", "D:\\new file.doc"},
        {{"*.tmp", "Temp\\", "~$*"}, "X", "typed over", "My Temp\\*.bak", "  "}};
    for (const ListPage& p : kListPages) {
        const auto& c = cases[&p - kListPages];
        settings.*p.saved = c.entries;
        Lines deleted = c.entries;
        deleted.erase(deleted.begin() + 2);
        Lines added = deleted;
        added.push_back(c.added); // appended as typed, unchecked
        RunPage(p.page, [&] {
            HWND list = Item(p.list), field = Item(p.field);
            TypeText(field, c.blanks);
            ClickButton(Item(p.add)); // the field is empty
            EXPECT_EQ(ListEntries(list), c.entries) << p.section;
            ClickButton(Item(p.del)); // nothing selected since the opening
            EXPECT_EQ(ListEntries(list), c.entries) << p.section;
            ClickListRow(list, 1);
            EXPECT_EQ(TextOf(field), c.entries[1]);
            ::SendMessageA(field, EM_SETSEL, 100, 100);
            TypeText(field, c.typed);
            ClickButton(Item(p.add)); // the field shows entry 1: an entry is not edited in place
            EXPECT_EQ(TextOf(field), c.entries[1] + c.typed);
            EXPECT_EQ(ListEntries(list), c.entries) << p.section;
            ClickListRow(list, 2);
            TypeOver(field, c.typedOver); // still deletes entry 2
            ClickButton(Item(p.del));
            EXPECT_EQ(TextOf(field), "") << p.section;
            EXPECT_EQ(ListEntries(list), deleted);
            ClickButton(Item(p.del)); // the entry index was reset by the delete
            EXPECT_EQ(ListEntries(list), deleted);
            TypeText(field, c.blanks + std::string(c.added) + c.blanks);
            ClickButton(Item(p.add));
            EXPECT_EQ(TextOf(field), "") << p.section;
            ClickButton(Item(p.add));
            EXPECT_EQ(ListEntries(list), added);
        });
        EXPECT_EQ(settings.*p.saved, added);
        EXPECT_EQ(IniList(ini, p.section), added);
    }
}

TEST_F(DialogTest, EveryOpeningRefillsTheListsAsSavedAndShowsTheFoldersPageWithEmptyFieldsAndNoEntryIndex) {
    // Entries as loading can leave them, and some it never would: nothing is checked or normalised.
    settings.SourceDirs = {"c:\\lower\\case\\", "", "relative name", "C:\\A"};
    settings.SourceFiles = {"C:\\f.txt", "C:\\f.txt"};
    RunPage(0, [&](Script& s) {
        s.Then([&] {
             EXPECT_EQ(ListEntries(Item(C::ListBoxDir)), settings.SourceDirs);
             EXPECT_EQ(ListEntries(Item(C::ListBoxFile)), (Lines{"C:\\f.txt", "C:\\f.txt"}));
             TypeText(Item(C::DirectoryEdit3), "C:\\Trailing\\");
             ClickButton(Item(C::dAdd));
             ClickListRow(Item(C::ListBoxDir), 0); // the field shows entry 0
             ClickTab(Item(C::PageControl), 1);
         }).Then([&] {
            ClickListRow(Item(C::ListBoxFile), 0);
            ClickTab(Item(C::PageControl), 2);
        });
    });
    const Lines saved{"c:\\lower\\case\\", "", "relative name", "C:\\A", "C:\\Trailing\\"};
    EXPECT_EQ(settings.SourceDirs, saved);
    EXPECT_EQ(IniList(ini, "SourceDir"), saved);
    EXPECT_EQ(IniList(ini, "SourceFile"), (Lines{"C:\\f.txt", "C:\\f.txt"}));

    settings.SourceDirs = {"C:\\Only",
                           "C:\\Next"}; // the next opening shows the saved lists, not the controls'
    RunPage(0, [&] {
        EXPECT_EQ(::SendMessageA(Item(C::PageControl), TCM_GETCURSEL, 0, 0), 0);
        EXPECT_TRUE(::IsWindowVisible(form.Page(0)));
        EXPECT_FALSE(::IsWindowVisible(form.Page(1)) || ::IsWindowVisible(form.Page(2)));
        EXPECT_EQ(TextOf(Item(C::DirectoryEdit3)), "");
        EXPECT_EQ(TextOf(Item(C::FilenameEdit1)), "");
        // The entry indexes of the last opening are gone: deleting does nothing.
        ClickButton(Item(C::dDelete));
        ClickButton(Item(C::fDelete));
        EXPECT_EQ(ListEntries(Item(C::ListBoxDir)), (Lines{"C:\\Only", "C:\\Next"}));
        EXPECT_EQ(ListEntries(Item(C::ListBoxFile)), (Lines{"C:\\f.txt", "C:\\f.txt"}));
    });
}

TEST_F(DialogTest, EnterAndEscNeverCloseTheDialogAndEnterPressesTheButtonTabReached) {
    settings.SourceDirs = {"C:\\A", "C:\\B", "C:\\C"};
    auto stillOpen = [&] { EXPECT_TRUE(form.IsOpen() && ::IsWindowVisible(form.Handle())); };
    RunPage(0, [&](Script& s) {
        // From the page control, a list and an edit; and the commands Enter and Esc become (IDOK,
        // IDCANCEL) sent straight to the dialog.
        for (C c : {C::PageControl, C::ListBoxDir, C::DirectoryEdit3}) {
            s.Then([&, c] {
                 ::SetFocus(Item(c));
                 PostKey(VK_RETURN);
             })
                .Then([&] { PostKey(VK_ESCAPE); })
                .Pause(50)
                .Then(stillOpen);
        }
        s.Then([&] {
             ::SendMessageA(form.Handle(), WM_COMMAND, IDOK, 0);
             ::SendMessageA(form.Handle(), WM_COMMAND, IDCANCEL, 0);
         })
            .Pause(50)
            .Then([&] {
                stillOpen();
                // The second entry selected by the keyboard runs the click handler; then Tab from
                // the list: list, "Добавить", "Удалить".
                ::SetFocus(Item(C::ListBoxDir));
                PressKey(Item(C::ListBoxDir), VK_DOWN); // the first entry
                PressKey(Item(C::ListBoxDir), VK_DOWN); // the second
                EXPECT_EQ(TextOf(Item(C::DirectoryEdit3)), "C:\\B");
                PostKey(VK_TAB);
            })
            .Then([&] { PostKey(VK_TAB); })
            .Then([&] {
                EXPECT_EQ(::GetFocus(), Item(C::dDelete));
                PostKey(VK_RETURN);
            })
            .Then([&] {
                EXPECT_EQ(ListEntries(Item(C::ListBoxDir)), (Lines{"C:\\A", "C:\\C"}));
                EXPECT_EQ(TextOf(Item(C::DirectoryEdit3)), "");
            });
    });
    EXPECT_EQ(IniList(ini, "SourceDir"), (Lines{"C:\\A", "C:\\C"}));
}
