// The browse fields with the platform's real pickers: the folder browser and the file-open dialog
// driven from a timer while they are open, their start rules, what they return, the environment
// they run in, and typed text kept as typed.
#include "dialog_helpers.h"

#include <commdlg.h>
#include <shlobj.h>

#include "runtime/cp1251.h"

using namespace vestrand;
using namespace vestrand::test;
using C = DialogControl;

namespace {

using Strings = std::vector<std::string>;
constexpr int kFileNameBox = 0x47C; // cmb13: the file-name box of the file-open dialog
constexpr int kFilterBox = 0x470;   // cmb1
constexpr int kReadOnlyBox = 0x410; // chx1

bool PickerOpen() {
    return FindPicker() != nullptr;
}
bool PickerClosed() {
    return FindPicker() == nullptr;
}

void SelectFolder(const std::string& path) {
    ::SendMessageA(FindPicker(), BFFM_SETSELECTIONA, TRUE, reinterpret_cast<LPARAM>(path.c_str()));
}
void PickerOk() {
    ::PostMessageA(FindPicker(), WM_COMMAND, IDOK, 0);
}
void PickerCancel() {
    ::PostMessageA(FindPicker(), WM_COMMAND, IDCANCEL, 0);
}

HWND FileNameEdit(HWND picker) {
    HWND found = nullptr;
    ::EnumChildWindows(
        picker,
        [](HWND hwnd, LPARAM out) -> BOOL {
            char cls[16] = {};
            ::GetClassNameA(hwnd, cls, sizeof cls);
            if (::GetDlgCtrlID(hwnd) == kFileNameBox && ::lstrcmpiA(cls, "Edit") == 0) {
                *reinterpret_cast<HWND*>(out) = hwnd;
                return FALSE;
            }
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&found));
    return found;
}

// The file dialog is the wide one: it answers in UTF-16 whichever way it is asked.
std::string PickerFolder() {
    wchar_t buffer[MAX_PATH] = {};
    ::SendMessageW(FindPicker(), CDM_GETFOLDERPATH, MAX_PATH, reinterpret_cast<LPARAM>(buffer));
    char narrow[MAX_PATH * 2] = {};
    ::WideCharToMultiByte(CP_ACP, 0, buffer, -1, narrow, sizeof narrow, nullptr, nullptr);
    return narrow;
}

std::string DriveRootOfCurrentFolder() {
    char buffer[MAX_PATH] = {};
    ::GetFullPathNameA("\\", sizeof buffer, buffer, nullptr);
    return buffer;
}

} // namespace

TEST_F(DialogTest, FolderBrowserStartsWhereTheRulesSayAndReturnsThePathWithoutTrailingSeparator) {
    const std::string sub = folder + "Sub Dir";
    ::CreateDirectoryA(sub.c_str(), nullptr);
    const std::string base = folder.substr(0, folder.size() - 1); // T:\dlg_...
    HWND field = nullptr, button = nullptr;
    std::vector<std::string> results;
    auto browseAndOk = [&](Script& s, const std::string& text, const std::string& select) {
        s.Then([&, text] {
             ::SetWindowTextA(field, text.c_str());
             PostClickAt(button, 3, 3);
         })
            .WaitFor(PickerOpen, "the folder browser")
            .Then([select] {
                if (!select.empty())
                    SelectFolder(select);
                PickerOk();
            })
            .WaitFor(PickerClosed, "the browser to close")
            .Then([&] { results.push_back(TextOf(field)); });
    };
    Script s(form);
    s.WhenOpen().Then([&] {
        field = Item(C::DirectoryEdit3);
        button = form.ButtonOf(C::DirectoryEdit3);
    });
    browseAndOk(s, "", "");  // nothing remembered: the current drive's root
    browseAndOk(s, "", sub); // choosing a folder
    s.Then([&] { ClickButton(Item(C::dAdd)); });
    browseAndOk(s, "", "");              // empty field: the folder chosen last
    browseAndOk(s, base, "");            // the field's folder
    browseAndOk(s, base + "\\gone", ""); // a folder that does not exist: the root again
    browseAndOk(s, "", "T:\\");          // a drive root keeps its separator
    s.CloseByTitleBar();
    RunDialog(form, settings, ini, s);
    const std::string root = DriveRootOfCurrentFolder();
    EXPECT_EQ(results, (Strings{root, sub, sub, base, root, "T:\\"}));
    EXPECT_EQ(IniList(ini, "SourceDir"), (Strings{sub}));
}

TEST_F(DialogTest, FolderBrowserRunsCentredWithTheProgramDisabledAndCriticalErrorsSuppressed) {
    struct Seen {
        UINT errorMode = 0;
        bool dialogEnabled = true, otherEnabled = true;
        RECT rect{};
        std::string instruction = "?";
    } seen;
    HWND other = ::CreateWindowExA(0, "STATIC", "other window", WS_OVERLAPPED | WS_VISIBLE, 0, 0, 100, 50,
                                   nullptr, nullptr, ::GetModuleHandleA(nullptr), nullptr);
    ::SetErrorMode(SEM_NOGPFAULTERRORBOX);
    const UINT before = ::GetErrorMode();
    UINT after = 0;
    bool otherEnabledAfter = false, focusBack = false;
    Script s(form);
    s.WhenOpen()
        .Then([&] {
            ::EnableWindow(other, TRUE); // the modal wait disabled it; this is about the browser's own
            ::SetFocus(Item(C::ListBoxDir));
            ::PostMessageA(Item(C::DirectoryEdit3), WM_SYSKEYDOWN, VK_DOWN, 1 | (1 << 29)); // Alt+Down
        })
        .WaitFor(PickerOpen, "the folder browser")
        .Then([&] {
            HWND picker = FindPicker();
            seen.errorMode = ::GetErrorMode();
            seen.dialogEnabled = ::IsWindowEnabled(form.Handle()) != FALSE;
            seen.otherEnabled = ::IsWindowEnabled(other) != FALSE;
            ::GetWindowRect(picker, &seen.rect);
            seen.instruction = TextOf(::GetDlgItem(picker, 0x3742));
            PickerCancel();
        })
        .WaitFor(PickerClosed, "the browser to close")
        .Then([&] {
            after = ::GetErrorMode();
            otherEnabledAfter = ::IsWindowEnabled(other) != FALSE;
            focusBack = ::GetFocus() == Item(C::DirectoryEdit3);
        })
        .CloseByTitleBar();
    RunDialog(form, settings, ini, s);
    ::DestroyWindow(other);
    ::SetErrorMode(0);
    EXPECT_TRUE(seen.errorMode & SEM_FAILCRITICALERRORS);
    EXPECT_TRUE(seen.errorMode & SEM_NOGPFAULTERRORBOX); // the other flags stay
    EXPECT_FALSE(seen.dialogEnabled);
    EXPECT_FALSE(seen.otherEnabled);
    EXPECT_EQ(seen.instruction, "");
    EXPECT_NEAR((seen.rect.left + seen.rect.right) / 2, ::GetSystemMetrics(SM_CXSCREEN) / 2, 1);
    EXPECT_NEAR((seen.rect.top + seen.rect.bottom) / 2, ::GetSystemMetrics(SM_CYSCREEN) / 2, 1);
    EXPECT_EQ(after, before);
    EXPECT_TRUE(otherEnabledAfter);
    EXPECT_TRUE(focusBack);
}

TEST_F(DialogTest, BrowsingFromASelectedEntryAndCancellingMakesTheNextAddADuplicate) {
    settings.SourceDirs = {"C:\\A", "C:\\B"};
    settings.SourceFiles = {"C:\\f.txt"};
    std::string dirText, fileText;
    Script s(form);
    s.WhenOpen()
        .Then([&] {
            ClickListRow(Item(C::ListBoxDir), 1);
            PostClickAt(form.ButtonOf(C::DirectoryEdit3), 3, 3);
        })
        .WaitFor(PickerOpen, "the folder browser")
        .Then(PickerCancel)
        .WaitFor(PickerClosed, "the browser to close")
        .Then([&] {
            dirText = TextOf(Item(C::DirectoryEdit3));
            ClickButton(Item(C::dAdd));
            ClickTab(Item(C::PageControl), 1);
        })
        .Then([&] {
            ClickListRow(Item(C::ListBoxFile), 0);
            PostClickAt(form.ButtonOf(C::FilenameEdit1), 3, 3);
        })
        .WaitFor(PickerOpen, "the file dialog")
        .Then(PickerCancel)
        .WaitFor(PickerClosed, "the file dialog to close")
        .Then([&] {
            fileText = TextOf(Item(C::FilenameEdit1));
            ClickButton(Item(C::fAdd));
        })
        .CloseByTitleBar();
    RunDialog(form, settings, ini, s);
    EXPECT_EQ(dirText, "C:\\B");
    EXPECT_EQ(fileText, "C:\\f.txt");
    EXPECT_EQ(settings.SourceDirs, (Strings{"C:\\A", "C:\\B", "C:\\B"}));
    EXPECT_EQ(settings.SourceFiles, (Strings{"C:\\f.txt", "C:\\f.txt"}));
}

TEST_F(DialogTest, FileDialogIsTheListDialogAndReturnsTheFullPathAsChosen) {
    const std::string dir = folder + "files";
    ::CreateDirectoryA(dir.c_str(), nullptr);
    const std::string chosen = dir + "\\my file.txt"; // need not exist
    std::string title, filter, nameBoxAtSecond, folderAtSecond, afterCancel = "?";
    bool readOnlyHidden = false;
    std::string first;
    HWND field = nullptr;
    Script s(form);
    s.WhenOpen()
        .Then([&] { ClickTab(Item(C::PageControl), 1); })
        .Then([&] {
            field = Item(C::FilenameEdit1);
            PostClickAt(form.ButtonOf(C::FilenameEdit1), 3, 3);
        })
        .WaitFor(PickerOpen, "the file dialog")
        .Then([&] {
            HWND picker = FindPicker();
            title = TextOf(picker);
            filter = TextOf(::GetDlgItem(picker, kFilterBox));
            readOnlyHidden = !::IsWindowVisible(::GetDlgItem(picker, kReadOnlyBox));
            ::SetWindowTextA(FileNameEdit(picker), chosen.c_str());
            PickerOk();
        })
        .WaitFor(PickerClosed, "the file dialog to close")
        .Then([&] {
            first = TextOf(field);
            ClickButton(Item(C::fAdd)); // the field is empty again
            PostClickAt(form.ButtonOf(C::FilenameEdit1), 3, 3);
        })
        .WaitFor(PickerOpen, "the file dialog again")
        .Then([&] {
            // The previous opening's file is offered again.
            nameBoxAtSecond = TextOf(FileNameEdit(FindPicker()));
            folderAtSecond = PickerFolder();
            PickerCancel();
        })
        .WaitFor(PickerClosed, "the file dialog to close")
        .Then([&] { afterCancel = TextOf(field); })
        .CloseByTitleBar();
    RunDialog(form, settings, ini, s);
    EXPECT_EQ(title, "Список");
    EXPECT_EQ(filter, "Все файлы (*.*)");
    EXPECT_TRUE(readOnlyHidden);
    EXPECT_EQ(first, chosen);
    EXPECT_EQ(settings.SourceFiles, (Strings{chosen}));
    EXPECT_NE(nameBoxAtSecond.find("my file.txt"), std::string::npos) << nameBoxAtSecond;
    EXPECT_EQ(folderAtSecond, dir);
    EXPECT_EQ(afterCancel, "");
}

TEST_F(DialogTest, FileDialogStartsFromTheWholeTextOfAnExistingFileOtherwiseFromItsFirstWord) {
    const std::string dir = folder + "files";
    ::CreateDirectoryA(dir.c_str(), nullptr);
    const std::string existing = dir + "\\exist s.txt more"; // a file whose name has blanks
    WriteFile(existing, "x");
    const std::string quoted = dir + "\\a b.txt";
    std::vector<std::string> results, folders;
    HWND field = nullptr;
    auto browseAndOk = [&](Script& s, const std::string& text) {
        s.Then([&, text] {
             ::SetWindowTextA(field, text.c_str());
             PostClickAt(form.ButtonOf(C::FilenameEdit1), 3, 3);
         })
            .WaitFor(PickerOpen, "the file dialog")
            .Then([&] {
                folders.push_back(PickerFolder());
                PickerOk();
            })
            .WaitFor(PickerClosed, "the file dialog to close")
            .Then([&] { results.push_back(TextOf(field)); });
    };
    Script s(form);
    s.WhenOpen().Then([&] {
        ClickTab(Item(C::PageControl), 1);
        field = Item(C::FilenameEdit1);
    });
    browseAndOk(s, existing);                            // names an existing file: taken whole
    browseAndOk(s, "\"" + quoted + "\" and more words"); // otherwise the first word, quotes grouping
    browseAndOk(s, "bad|name");                          // not a valid name: the last file again
    s.CloseByTitleBar();
    RunDialog(form, settings, ini, s);
    EXPECT_EQ(results, (Strings{existing, quoted, quoted}));
    EXPECT_EQ(folders, (Strings{dir, dir, dir}));
}

TEST_F(DialogTest, TypedTextOfBrowseFieldsIsKeptAsTyped) {
    const std::string typed = "Я\xAB\xB9z"; // Я, «, №, z
    std::string dirText, fileText, plainText;
    Script s(form);
    s.WhenOpen()
        .Then([&] {
            TypeText(Item(C::DirectoryEdit3), typed);
            dirText = TextOf(Item(C::DirectoryEdit3));
            ClickTab(Item(C::PageControl), 1);
        })
        .Then([&] {
            TypeText(Item(C::FilenameEdit1), typed);
            fileText = TextOf(Item(C::FilenameEdit1));
            ClickTab(Item(C::PageControl), 2);
        })
        .Then([&] {
            SelectAll(Item(C::Edit1));
            TypeText(Item(C::Edit1), typed);
            plainText = TextOf(Item(C::Edit1));
        })
        .CloseByTitleBar();
    RunDialog(form, settings, ini, s);
    EXPECT_EQ(dirText, typed);
    EXPECT_EQ(fileText, typed);
    EXPECT_EQ(plainText, typed);
}

TEST_F(DialogTest, TypedPathsWithGuillemetsSectionAndNumeroSignsReachTheListsAndTheFileUnchanged) {
    // «, §, № and » in code page 1251, all allowed in file names; the OEM code page lacks «, § and ».
    const std::string dirPath = "T:\\\xAB\xA7\xB9\xBB \xCE\xF2\xF7\xB8\xF2\xFB"; // T:\«§№» Отчёты
    const std::string filePath =
        "T:\\\xA7 1 \xB9 2\\\xAB\xE1\xE0\xEB\xE0\xED\xF1\xBB.xls"; // T:\§ 1 № 2\«баланс».xls
    Strings dirs, files;
    Script s(form);
    s.WhenOpen()
        .Then([&] {
            TypeText(Item(C::DirectoryEdit3), dirPath);
            ClickButton(Item(C::dAdd));
            dirs = ListEntries(Item(C::ListBoxDir));
            ClickTab(Item(C::PageControl), 1);
        })
        .Then([&] {
            TypeText(Item(C::FilenameEdit1), filePath);
            ClickButton(Item(C::fAdd));
            files = ListEntries(Item(C::ListBoxFile));
        })
        .CloseByTitleBar();
    RunDialog(form, settings, ini, s);
    EXPECT_EQ(dirs, Strings{dirPath});
    EXPECT_EQ(files, Strings{filePath});
    EXPECT_EQ(settings.SourceDirs, Strings{dirPath});
    EXPECT_EQ(settings.SourceFiles, Strings{filePath});
    EXPECT_EQ(IniList(ini, "SourceDir"), Strings{dirPath});
    EXPECT_EQ(IniList(ini, "SourceFile"), Strings{filePath});
}

TEST_F(DialogTest, FolderBrowserOffersOkOnlyOnFileSystemFolders) {
    // (A folder that vanishes while shown is not checked here: Wine re-enables OK from its own
    // attribute check after the selection callback has disabled it.)
    PIDLIST_ABSOLUTE computer = nullptr;
    ASSERT_TRUE(SUCCEEDED(::SHGetSpecialFolderLocation(nullptr, CSIDL_DRIVES, &computer)));
    bool okAtStart = false, okOnComputer = true, okOnRoot = false;
    Script s(form);
    s.WhenOpen()
        .Then([&] {
            ::SetWindowTextA(Item(C::DirectoryEdit3), folder.c_str());
            PostClickAt(form.ButtonOf(C::DirectoryEdit3), 3, 3);
        })
        .WaitFor(PickerOpen, "the folder browser")
        .Then([&] {
            HWND picker = FindPicker();
            okAtStart = ::IsWindowEnabled(::GetDlgItem(picker, IDOK)) != FALSE;
            ::SendMessageA(picker, BFFM_SETSELECTIONA, FALSE, reinterpret_cast<LPARAM>(computer));
            okOnComputer = ::IsWindowEnabled(::GetDlgItem(picker, IDOK)) != FALSE;
            SelectFolder("T:\\");
            okOnRoot = ::IsWindowEnabled(::GetDlgItem(picker, IDOK)) != FALSE;
            PickerCancel();
        })
        .WaitFor(PickerClosed, "the browser to close")
        .CloseByTitleBar();
    RunDialog(form, settings, ini, s);
    ::CoTaskMemFree(computer);
    EXPECT_TRUE(okAtStart);
    EXPECT_FALSE(okOnComputer);
    EXPECT_TRUE(okOnRoot);
}

// ---- Paths code page 1251 cannot hold --------------------------------------------------------

namespace {

// The text of the message box open over the dialog, and the box closed; "<no box>" without one.
std::wstring TakeMessageBox() {
    HWND box = FindPicker();
    if (!box)
        return L"<no box>";
    wchar_t text[1024] = {};
    ::GetWindowTextW(::GetDlgItem(box, 0xFFFF), text, 1024);
    ::PostMessageA(box, WM_COMMAND, IDOK, 0);
    return text;
}

} // namespace

TEST_F(DialogTest, TypedPathsCodePage1251CannotHoldAreRefusedWithAMessageAndCyrillicOnesAreTaken) {
    settings.SourceDirs = {"C:\\A"};
    settings.SourceFiles = {"C:\\f.txt"};
    const std::wstring accented = L"T:\\R\u00E9sum\u00E9";    // Résumé: best fit would make it "Resume"
    const std::wstring japanese = L"T:\\\u65E5\u672C\\a.txt"; // 日本
    std::wstring dirBox, fileBox;
    Strings dirsAfterRefusal, filesAfterRefusal, dirsAfterCyrillic;
    std::wstring fieldAfterRefusal;
    Script s(form);
    s.WhenOpen()
        .Then([&] {
            ::SetWindowTextW(Item(C::DirectoryEdit3), accented.c_str());
            ::PostMessageA(Item(C::dAdd), BM_CLICK, 0, 0); // the box runs a loop of its own
        })
        .WaitFor(PickerOpen, "the message box")
        .Then([&] { dirBox = TakeMessageBox(); })
        .WaitFor(PickerClosed, "the message box to close")
        .Then([&] {
            dirsAfterRefusal = ListEntries(Item(C::ListBoxDir));
            wchar_t text[256] = {};
            ::GetWindowTextW(Item(C::DirectoryEdit3), text, 256);
            fieldAfterRefusal = text;
            SelectAll(Item(C::DirectoryEdit3));
            TypeText(Item(C::DirectoryEdit3), "T:\\\xCE\xF2\xF7\xB8\xF2\xFB"); // T:\Отчёты
            ClickButton(Item(C::dAdd));
            dirsAfterCyrillic = ListEntries(Item(C::ListBoxDir));
            ClickTab(Item(C::PageControl), 1);
        })
        .Then([&] {
            ::SetWindowTextW(Item(C::FilenameEdit1), japanese.c_str());
            ::PostMessageA(Item(C::fAdd), BM_CLICK, 0, 0);
        })
        .WaitFor(PickerOpen, "the message box")
        .Then([&] { fileBox = TakeMessageBox(); })
        .WaitFor(PickerClosed, "the message box to close")
        .Then([&] { filesAfterRefusal = ListEntries(Item(C::ListBoxFile)); })
        .CloseByTitleBar();
    RunDialog(form, settings, ini, s);
    const std::wstring why =
        L"\u041F\u0443\u0442\u044C \u0441\u043E\u0434\u0435\u0440\u0436\u0438\u0442 "; // «Путь содержит »
    EXPECT_EQ(dirBox.rfind(why, 0), 0u);
    EXPECT_NE(dirBox.find(L"Windows-1251: " + accented), std::wstring::npos);
    EXPECT_NE(fileBox.find(L"Windows-1251: " + japanese), std::wstring::npos);
    EXPECT_EQ(dirsAfterRefusal, (Strings{"C:\\A"}));
    EXPECT_EQ(fieldAfterRefusal, accented); // kept for correcting
    EXPECT_EQ(dirsAfterCyrillic, (Strings{"C:\\A", "T:\\\xCE\xF2\xF7\xB8\xF2\xFB"}));
    EXPECT_EQ(filesAfterRefusal, (Strings{"C:\\f.txt"}));
    EXPECT_EQ(IniList(ini, "SourceDir"), (Strings{"C:\\A", "T:\\\xCE\xF2\xF7\xB8\xF2\xFB"}));
    EXPECT_EQ(IniList(ini, "SourceFile"), (Strings{"C:\\f.txt"}));
}

TEST_F(DialogTest, AFolderPickedInTheBrowserThatCodePage1251CannotHoldIsRefusedAndTheFieldStays) {
    const std::wstring picked = WidenCp1251(folder) + L"R\u00E9sum\u00E9";
    ASSERT_TRUE(::CreateDirectoryW(picked.c_str(), nullptr));
    std::wstring box;
    std::string fieldAfter = "?";
    Script s(form);
    s.WhenOpen()
        .Then([&] {
            TypeText(Item(C::DirectoryEdit3), folder);
            PostClickAt(form.ButtonOf(C::DirectoryEdit3), 3, 3);
        })
        .WaitFor(PickerOpen, "the folder browser")
        .Then([&] {
            ::SendMessageW(FindPicker(), BFFM_SETSELECTIONW, TRUE, reinterpret_cast<LPARAM>(picked.c_str()));
            PickerOk();
        })
        .WaitFor([] { return FindPicker() && ::GetDlgItem(FindPicker(), 0xFFFF); }, "the message box")
        .Then([&] { box = TakeMessageBox(); })
        .WaitFor(PickerClosed, "the message box to close")
        .Then([&] { fieldAfter = TextOf(Item(C::DirectoryEdit3)); })
        .CloseByTitleBar();
    RunDialog(form, settings, ini, s);
    EXPECT_NE(box.find(L"Windows-1251: " + picked), std::wstring::npos);
    EXPECT_EQ(fieldAfter, folder);
}
