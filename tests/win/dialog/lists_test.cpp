// The two lists and their entry fields: the Tag rules of selecting, adding and deleting, what every
// opening resets, and the lists reaching the settings file as they stand.
#include "dialog_helpers.h"

#include <commctrl.h>

using namespace vestrand;
using namespace vestrand::test;
using C = DialogControl;

namespace {
using Strings = std::vector<std::string>;
}

TEST_F(DialogTest, EditingASelectedFolderAndAddingDoesNothingDeleteRemovesTheSelectedEntry) {
    settings.SourceDirs = {"C:\\A", "C:\\B", "C:\\C", "C:\\D"};
    std::string afterSelect, afterEditAdd, afterDelete;
    Strings listAfterEditAdd, listAfterDelete;
    Script s(form);
    s.WhenOpen()
        .Then([&] {
            HWND list = Item(C::ListBoxDir), field = Item(C::DirectoryEdit3);
            ClickListRow(list, 1);
            afterSelect = TextOf(field);
            ::SendMessageA(field, EM_SETSEL, 100, 100);
            TypeText(field, "X");
            ClickButton(Item(C::dAdd)); // the field shows entry 1: an entry is not edited in place
            afterEditAdd = TextOf(field);
            listAfterEditAdd = ListEntries(list);
            // Select entry 2, type something else: "Удалить" still deletes entry 2.
            ClickListRow(list, 2);
            SelectAll(field);
            TypeText(field, "other text");
            ClickButton(Item(C::dDelete));
            afterDelete = TextOf(field);
            listAfterDelete = ListEntries(list);
        })
        .CloseByTitleBar();
    RunDialog(form, settings, ini, s);
    EXPECT_EQ(afterSelect, "C:\\B");
    EXPECT_EQ(afterEditAdd, "C:\\BX");
    EXPECT_EQ(listAfterEditAdd, (Strings{"C:\\A", "C:\\B", "C:\\C", "C:\\D"}));
    EXPECT_EQ(afterDelete, "");
    EXPECT_EQ(listAfterDelete, (Strings{"C:\\A", "C:\\B", "C:\\D"}));
    EXPECT_EQ(settings.SourceDirs, (Strings{"C:\\A", "C:\\B", "C:\\D"}));
    EXPECT_EQ(IniList(ini, "SourceDir"), (Strings{"C:\\A", "C:\\B", "C:\\D"}));
}

TEST_F(DialogTest, AddWithAnEmptyFieldAndDeleteWithoutASelectedEntryDoNothing) {
    settings.SourceDirs = {"C:\\A", "C:\\B"};
    Strings afterEmptyAdd, afterFreshDelete, afterSecondDelete, afterTypedAdd, afterAddAgain;
    std::string fieldAfterAdd;
    Script s(form);
    s.WhenOpen()
        .Then([&] {
            HWND list = Item(C::ListBoxDir), field = Item(C::DirectoryEdit3);
            ClickButton(Item(C::dAdd));
            afterEmptyAdd = ListEntries(list);
            ClickButton(Item(C::dDelete)); // nothing selected since the opening
            afterFreshDelete = ListEntries(list);
            ClickListRow(list, 0);
            ClickButton(Item(C::dDelete));
            ClickButton(Item(C::dDelete)); // the entry index was reset by the first delete
            afterSecondDelete = ListEntries(list);
            TypeText(field, "new folder text");
            ClickButton(Item(C::dAdd));
            fieldAfterAdd = TextOf(field);
            afterTypedAdd = ListEntries(list);
            ClickButton(Item(C::dAdd));
            afterAddAgain = ListEntries(list);
        })
        .CloseByTitleBar();
    RunDialog(form, settings, ini, s);
    EXPECT_EQ(afterEmptyAdd, (Strings{"C:\\A", "C:\\B"}));
    EXPECT_EQ(afterFreshDelete, (Strings{"C:\\A", "C:\\B"}));
    EXPECT_EQ(afterSecondDelete, (Strings{"C:\\B"}));
    EXPECT_EQ(fieldAfterAdd, "");
    EXPECT_EQ(afterTypedAdd, (Strings{"C:\\B", "new folder text"})); // appended as typed, unchecked
    EXPECT_EQ(afterAddAgain, afterTypedAdd);
    EXPECT_EQ(IniList(ini, "SourceDir"), (Strings{"C:\\B", "new folder text"}));
}

TEST_F(DialogTest, KeyboardSelectionRunsTheClickHandlerAndEnterPressesAFocusedButton) {
    settings.SourceDirs = {"C:\\A", "C:\\B", "C:\\C"};
    std::string afterDown, afterEnter;
    Strings listAfterEnter;
    Script s(form);
    s.WhenOpen()
        .Then([&] {
            HWND list = Item(C::ListBoxDir);
            ::SetFocus(list);
            PressKey(list, VK_DOWN); // the first entry
            PressKey(list, VK_DOWN); // the second
            afterDown = TextOf(Item(C::DirectoryEdit3));
            // The focus moved as the dialog manager moves it, which makes a push button the default.
            ::SendMessageA(form.Handle(), WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(Item(C::dDelete)), TRUE);
            PostKey(VK_RETURN);
        })
        .Then([&] {
            afterEnter = TextOf(Item(C::DirectoryEdit3));
            listAfterEnter = ListEntries(Item(C::ListBoxDir));
        })
        .CloseByTitleBar();
    RunDialog(form, settings, ini, s);
    EXPECT_EQ(afterDown, "C:\\B");
    EXPECT_EQ(afterEnter, "");
    EXPECT_EQ(listAfterEnter, (Strings{"C:\\A", "C:\\C"}));
}

TEST_F(DialogTest, TheFilesPageFollowsTheSameRules) {
    settings.SourceFiles = {"C:\\f1.txt", "C:\\My Docs\\f 2.txt", "C:\\f3.txt"};
    Strings afterEditAdd, afterDelete, afterAdd;
    std::string shown;
    Script s(form);
    s.WhenOpen()
        .Then([&] { ClickTab(Item(C::PageControl), 1); })
        .Then([&] {
            HWND list = Item(C::ListBoxFile), field = Item(C::FilenameEdit1);
            ClickListRow(list, 1);
            shown = TextOf(field);
            TypeText(field, "Z");
            ClickButton(Item(C::fAdd));
            afterEditAdd = ListEntries(list);
            ClickListRow(list, 0);
            SelectAll(field);
            TypeText(field, "typed over");
            ClickButton(Item(C::fDelete));
            afterDelete = ListEntries(list);
            ClickButton(Item(C::fDelete));
            TypeText(field, "D:\\new file.doc");
            ClickButton(Item(C::fAdd));
            ClickButton(Item(C::fAdd));
            afterAdd = ListEntries(list);
        })
        .CloseByTitleBar();
    RunDialog(form, settings, ini, s);
    EXPECT_EQ(shown, "C:\\My Docs\\f 2.txt");
    EXPECT_EQ(afterEditAdd, (Strings{"C:\\f1.txt", "C:\\My Docs\\f 2.txt", "C:\\f3.txt"}));
    EXPECT_EQ(afterDelete, (Strings{"C:\\My Docs\\f 2.txt", "C:\\f3.txt"}));
    EXPECT_EQ(afterAdd, (Strings{"C:\\My Docs\\f 2.txt", "C:\\f3.txt", "D:\\new file.doc"}));
    EXPECT_EQ(settings.SourceFiles, afterAdd);
    EXPECT_EQ(IniList(ini, "SourceFile"), afterAdd);
}

TEST_F(DialogTest, EveryOpeningShowsTheFoldersPageWithBothFieldsEmptyAndNoEntryIndex) {
    settings.SourceDirs = {"C:\\A", "C:\\B"};
    settings.SourceFiles = {"C:\\f1.txt"};
    Script first(form);
    first.WhenOpen()
        .Then([&] {
            ClickListRow(Item(C::ListBoxDir), 1); // field shows entry 1
            ClickTab(Item(C::PageControl), 1);
        })
        .Then([&] {
            ClickListRow(Item(C::ListBoxFile), 0);
            ClickTab(Item(C::PageControl), 2);
        })
        .CloseByTitleBar();
    RunDialog(form, settings, ini, first);

    int page = -1;
    bool dirsShown = false, othersHidden = false;
    std::string dirField = "?", fileField = "?";
    Strings dirsAfterDelete, filesAfterDelete;
    Script second(form);
    second.WhenOpen()
        .Then([&] {
            page = static_cast<int>(::SendMessageA(Item(C::PageControl), TCM_GETCURSEL, 0, 0));
            dirsShown = ::IsWindowVisible(form.Page(0)) != FALSE;
            othersHidden = !::IsWindowVisible(form.Page(1)) && !::IsWindowVisible(form.Page(2));
            dirField = TextOf(Item(C::DirectoryEdit3));
            fileField = TextOf(Item(C::FilenameEdit1));
            // The entry indexes of the last opening are gone: deleting does nothing.
            ClickButton(Item(C::dDelete));
            ClickButton(Item(C::fDelete));
            dirsAfterDelete = ListEntries(Item(C::ListBoxDir));
            filesAfterDelete = ListEntries(Item(C::ListBoxFile));
        })
        .CloseByTitleBar();
    RunDialog(form, settings, ini, second);
    EXPECT_EQ(page, 0);
    EXPECT_TRUE(dirsShown);
    EXPECT_TRUE(othersHidden);
    EXPECT_EQ(dirField, "");
    EXPECT_EQ(fileField, "");
    EXPECT_EQ(dirsAfterDelete, (Strings{"C:\\A", "C:\\B"}));
    EXPECT_EQ(filesAfterDelete, (Strings{"C:\\f1.txt"}));
}

TEST_F(DialogTest, ListsAreRefilledAtEveryOpeningAndReachTheFileAsTheyStand) {
    // Entries as loading can leave them, and some it never would: nothing is checked or normalised.
    settings.SourceDirs = {"c:\\lower\\case\\", "", "relative name", "C:\\A"};
    settings.SourceFiles = {"C:\\f.txt", "C:\\f.txt"};
    Strings shownDirs, shownFiles, reopenedDirs;
    Script s(form);
    s.WhenOpen()
        .Then([&] {
            shownDirs = ListEntries(Item(C::ListBoxDir));
            shownFiles = ListEntries(Item(C::ListBoxFile));
            TypeText(Item(C::DirectoryEdit3), "C:\\Trailing\\");
            ClickButton(Item(C::dAdd));
        })
        .CloseByTitleBar();
    RunDialog(form, settings, ini, s);
    EXPECT_EQ(shownDirs, (Strings{"c:\\lower\\case\\", "", "relative name", "C:\\A"}));
    EXPECT_EQ(shownFiles, (Strings{"C:\\f.txt", "C:\\f.txt"}));
    const Strings saved{"c:\\lower\\case\\", "", "relative name", "C:\\A", "C:\\Trailing\\"};
    EXPECT_EQ(settings.SourceDirs, saved);
    EXPECT_EQ(IniList(ini, "SourceDir"), saved);
    EXPECT_EQ(IniList(ini, "SourceFile"), (Strings{"C:\\f.txt", "C:\\f.txt"}));

    // The next opening shows the saved lists, not what the controls held.
    settings.SourceDirs = {"C:\\Only"};
    Script again(form);
    again.WhenOpen().Then([&] { reopenedDirs = ListEntries(Item(C::ListBoxDir)); }).CloseByTitleBar();
    RunDialog(form, settings, ini, again);
    EXPECT_EQ(reopenedDirs, (Strings{"C:\\Only"}));
}

TEST_F(DialogTest, EnterAndEscNeverCloseTheDialogAndEnterPressesTheButtonTabReached) {
    settings.SourceDirs = {"C:\\A", "C:\\B"};
    std::vector<bool> openAfter;
    std::vector<std::string> fieldAfter;
    Strings listAfterEnter;
    HWND focusAfterTabs = nullptr;
    Script s(form);
    s.WhenOpen();
    // From the page control, a list, an edit and a number field; and the commands Enter and Esc
    // become (IDOK, IDCANCEL) sent straight to the dialog.
    for (C c : {C::PageControl, C::ListBoxDir, C::DirectoryEdit3}) {
        s.Then([&, c] {
             ::SetFocus(Item(c));
             PostKey(VK_RETURN);
         })
            .Then([&] { PostKey(VK_ESCAPE); })
            .Pause(50)
            .Then([&] { openAfter.push_back(form.IsOpen() && ::IsWindowVisible(form.Handle())); });
    }
    s.Then([&] {
         ::SendMessageA(form.Handle(), WM_COMMAND, IDOK, 0);
         ::SendMessageA(form.Handle(), WM_COMMAND, IDCANCEL, 0);
     })
        .Pause(50)
        .Then([&] {
            openAfter.push_back(form.IsOpen() && ::IsWindowVisible(form.Handle()));
            // Select the second entry, then Tab from the list: list, "Добавить", "Удалить".
            ClickListRow(Item(C::ListBoxDir), 1);
            fieldAfter.push_back(TextOf(Item(C::DirectoryEdit3)));
            ::SetFocus(Item(C::ListBoxDir));
            PostKey(VK_TAB);
        })
        .Then([&] { PostKey(VK_TAB); })
        .Then([&] {
            focusAfterTabs = ::GetFocus();
            PostKey(VK_RETURN);
        })
        .Then([&] {
            listAfterEnter = ListEntries(Item(C::ListBoxDir));
            fieldAfter.push_back(TextOf(Item(C::DirectoryEdit3)));
        })
        .CloseByTitleBar();
    RunDialog(form, settings, ini, s);
    EXPECT_EQ(openAfter, (std::vector<bool>{true, true, true, true}));
    EXPECT_EQ(focusAfterTabs, Item(C::dDelete));
    EXPECT_EQ(listAfterEnter, (Strings{"C:\\A"}));
    EXPECT_EQ(fieldAfter, (Strings{"C:\\B", ""}));
    EXPECT_EQ(IniList(ini, "SourceDir"), (Strings{"C:\\A"}));
}
