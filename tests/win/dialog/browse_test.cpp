// The browse fields with the real folder browser and file-open dialog: one case of each start rule
// (the cases are the host's), what they return, their environment, typed text kept as typed.
#include "dialog_runner.h"

#include <commdlg.h>
#include <shlobj.h>

#include <span>

#include "runtime/cp1251.h"
#include "tree_snapshot.h"

using namespace vestrand;
using namespace vestrand::test;
using C = DialogControl;

namespace {

constexpr int kFileNameBox = 0x47C;  // cmb13: the file-name box of the file-open dialog
constexpr int kFilterBox = 0x470;    // cmb1
constexpr int kReadOnlyBox = 0x410;  // chx1
constexpr int kMessageText = 0xFFFF; // the text of a message box

void SelectFolder(HWND picker, const std::string& path) {
    ::SendMessageA(picker, BFFM_SETSELECTIONA, TRUE, reinterpret_cast<LPARAM>(path.c_str()));
}
void PickerOk(HWND picker) {
    ::PostMessageA(picker, WM_COMMAND, IDOK, 0);
}
void PickerCancel(HWND picker) {
    ::PostMessageA(picker, WM_COMMAND, IDCANCEL, 0);
}
bool OkEnabled(HWND picker) {
    return ::IsWindowEnabled(::GetDlgItem(picker, IDOK)) != FALSE;
}

// The file dialog is the wide one: it answers in UTF-16 whichever way it is asked.
std::string PickerFolder(HWND picker) {
    wchar_t buffer[MAX_PATH] = {};
    ::SendMessageW(picker, CDM_GETFOLDERPATH, MAX_PATH, reinterpret_cast<LPARAM>(buffer));
    return NarrowU(buffer);
}

std::wstring WideText(HWND hwnd) {
    wchar_t text[1024] = {};
    ::GetWindowTextW(hwnd, text, 1024);
    return text;
}

std::wstring TakeMessageBox(HWND box) {
    const std::wstring text = WideText(::GetDlgItem(box, kMessageText));
    PickerOk(box);
    return text;
}

} // namespace

// (A folder that vanishes while shown is not checked: Wine re-enables OK from its own attribute check
// after the selection callback has disabled it.)
TEST_F(DialogTest, FolderBrowserRunsCentredWithTheProgramDisabledStartsWhereTheRulesSayAndReturnsTheFolder) {
    const std::string sub = folder + "Sub Dir";
    ::CreateDirectoryA(sub.c_str(), nullptr);
    const std::string base = folder.substr(0, folder.size() - 1); // T:\dlg_...
    const HWND field = Item(C::DirectoryEdit3);
    Lines results;
    PIDLIST_ABSOLUTE computer = nullptr;
    ASSERT_TRUE(SUCCEEDED(::SHGetSpecialFolderLocation(nullptr, CSIDL_DRIVES, &computer)));
    HWND other = ::CreateWindowExA(0, "STATIC", "other window", WS_OVERLAPPED | WS_VISIBLE, 0, 0, 100, 50,
                                   nullptr, nullptr, ::GetModuleHandleA(nullptr), nullptr);
    ::SetErrorMode(SEM_NOGPFAULTERRORBOX);
    const UINT before = ::GetErrorMode();
    RunPage(0, [&](Script& s) {
        // Critical errors suppressed, the program disabled, centred, OK only on file-system folders.
        s.WithPicker(
             [&] {
                 ::EnableWindow(other, TRUE); // the modal wait disabled it; this is about the browser's own
                 ::SetFocus(Item(C::ListBoxDir));
                 ::PostMessageA(Item(C::DirectoryEdit3), WM_SYSKEYDOWN, VK_DOWN, 1 | (1 << 29)); // Alt+Down
             },
             [&](HWND picker) {
                 EXPECT_TRUE(::GetErrorMode() & SEM_FAILCRITICALERRORS);
                 EXPECT_TRUE(::GetErrorMode() & SEM_NOGPFAULTERRORBOX); // the other flags stay
                 EXPECT_FALSE(::IsWindowEnabled(form.Handle()));
                 EXPECT_FALSE(::IsWindowEnabled(other));
                 EXPECT_EQ(TextOf(::GetDlgItem(picker, 0x3742)), ""); // no instruction
                 RECT rc{};
                 ::GetWindowRect(picker, &rc);
                 EXPECT_NEAR((rc.left + rc.right) / 2, ::GetSystemMetrics(SM_CXSCREEN) / 2, 1);
                 EXPECT_NEAR((rc.top + rc.bottom) / 2, ::GetSystemMetrics(SM_CYSCREEN) / 2, 1);
                 EXPECT_TRUE(OkEnabled(picker));
                 ::SendMessageA(picker, BFFM_SETSELECTIONA, FALSE, reinterpret_cast<LPARAM>(computer));
                 EXPECT_FALSE(OkEnabled(picker));
                 SelectFolder(picker, "T:\\");
                 EXPECT_TRUE(OkEnabled(picker));
                 PickerCancel(picker);
             },
             "the folder browser")
            .Then([&] {
                EXPECT_EQ(::GetErrorMode(), before);
                EXPECT_TRUE(::IsWindowEnabled(other));
                EXPECT_EQ(::GetFocus(), field);
            });
        auto browseAndOk = [&](const std::string& text, const std::string& select) {
            s.WithPicker([&, text] { Browse(C::DirectoryEdit3, text); },
                         [select](HWND picker) {
                             if (!select.empty())
                                 SelectFolder(picker, select);
                             PickerOk(picker);
                         },
                         "the folder browser")
                .Then([&] { results.push_back(TextOf(field)); });
        };
        browseAndOk("", "");  // nothing remembered (nor the cancelled choice): "\", the drive's root
        browseAndOk("", sub); // choosing a folder
        s.Then([&] { ClickButton(Item(C::dAdd)); });
        browseAndOk("", "");     // empty field: the folder chosen last
        browseAndOk(base, "");   // the field's folder
        browseAndOk("", "T:\\"); // a drive root keeps its separator
    });
    ::DestroyWindow(other);
    ::SetErrorMode(0);
    ::CoTaskMemFree(computer);
    char root[MAX_PATH] = {};
    ::GetFullPathNameA("\\", sizeof root, root, nullptr);
    EXPECT_EQ(results, (Lines{root, sub, sub, base, "T:\\"}));
    EXPECT_EQ(IniList(ini, "SourceDir"), (Lines{sub}));
}

TEST_F(DialogTest, BrowsingFromASelectedEntryAndCancellingMakesTheNextAddADuplicate) {
    settings.SourceDirs = {"C:\\A", "C:\\B"};
    settings.SourceFiles = {"C:\\f.txt"};
    // On each page the entry is selected, browsing cancelled, and the entry added again.
    const std::pair<int, const char*> selected[] = {{1, "C:\\B"}, {0, "C:\\f.txt"}};
    RunPage(0, [&](Script& s) {
        for (const ListPage& p : std::span(kListPages).first(2)) // the pages whose fields browse
            s.WithPicker(
                 [&] {
                     ClickTab(Item(C::PageControl), p.page);
                     ClickListRow(Item(p.list), selected[p.page].first);
                     PostBrowseClick(p.field);
                 },
                 PickerCancel, "the picker")
                .Then([&] {
                    EXPECT_EQ(TextOf(Item(p.field)), selected[p.page].second);
                    ClickButton(Item(p.add));
                });
    });
    EXPECT_EQ(settings.SourceDirs, (Lines{"C:\\A", "C:\\B", "C:\\B"}));
    EXPECT_EQ(settings.SourceFiles, (Lines{"C:\\f.txt", "C:\\f.txt"}));
}

TEST_F(DialogTest, FileDialogIsTheListDialogStartsWhereTheRulesSayAndReturnsTheFullPathAsChosen) {
    const std::string dir = folder + "files";
    ::CreateDirectoryA(dir.c_str(), nullptr);
    const std::string chosen = dir + "\\my file.txt";        // need not exist
    const std::string existing = dir + "\\exist s.txt more"; // a file whose name has blanks
    WriteFile(existing, "x");
    const std::string quoted = dir + "\\a b.txt";
    const HWND field = Item(C::FilenameEdit1);
    Lines results, folders;
    RunPage(1, [&](Script& s) {
        s.WithPicker([&] { PostBrowseClick(C::FilenameEdit1); },
                     [&](HWND picker) {
                         EXPECT_EQ(TextOf(picker), "Список");
                         EXPECT_EQ(TextOf(::GetDlgItem(picker, kFilterBox)), "Все файлы (*.*)");
                         EXPECT_FALSE(::IsWindowVisible(::GetDlgItem(picker, kReadOnlyBox)));
                         ::SetWindowTextA(::GetDlgItem(picker, kFileNameBox), chosen.c_str());
                         PickerOk(picker);
                     },
                     "the file dialog")
            .WithPicker(
                [&] {
                    EXPECT_EQ(TextOf(field), chosen);
                    ClickButton(Item(C::fAdd)); // the field is empty again
                    PostBrowseClick(C::FilenameEdit1);
                },
                [&](HWND picker) { // the previous opening's file is offered again
                    EXPECT_NE(TextOf(::GetDlgItem(picker, kFileNameBox)).find("my file.txt"),
                              std::string::npos);
                    EXPECT_EQ(PickerFolder(picker), dir);
                    PickerCancel(picker);
                },
                "the file dialog again")
            .Then([&] { EXPECT_EQ(TextOf(field), ""); });
        for (const std::string& text : {existing,                            // an existing file: taken whole
                                        "\"" + quoted + "\" and more words", // otherwise the first word
                                        std::string("bad|name")})            // not valid: the last file again
            s.WithPicker([&, text] { Browse(C::FilenameEdit1, text); },
                         [&](HWND picker) {
                             folders.push_back(PickerFolder(picker));
                             PickerOk(picker);
                         },
                         "the file dialog")
                .Then([&] { results.push_back(TextOf(field)); });
    });
    EXPECT_EQ(settings.SourceFiles, (Lines{chosen}));
    EXPECT_EQ(results, (Lines{existing, quoted, quoted}));
    EXPECT_EQ(folders, (Lines{dir, dir, dir}));
}

TEST_F(DialogTest, TypedPathsWithGuillemetsSectionAndNumeroSignsAreKeptAsTypedInFieldsListsAndTheFile) {
    // «, §, № and » in code page 1251, all allowed in file names; the OEM code page lacks «, § and ».
    const std::string typed = "Я\xAB\xB9z";                                      // Я, «, №, z
    const std::string dirPath = "T:\\\xAB\xA7\xB9\xBB \xCE\xF2\xF7\xB8\xF2\xFB"; // T:\«§№» Отчёты
    const std::string filePath =
        "T:\\\xA7 1 \xB9 2\\\xAB\xE1\xE0\xEB\xE0\xED\xF1\xBB.xls"; // T:\§ 1 № 2\«баланс».xls
    const std::string paths[] = {dirPath, filePath};
    RunPage(0, [&](Script& s) {
        for (const ListPage& p : std::span(kListPages).first(2))
            s.Then([&] {
                ClickTab(Item(C::PageControl), p.page);
                TypeText(Item(p.field), typed);
                EXPECT_EQ(TextOf(Item(p.field)), typed);
                TypeOver(Item(p.field), paths[p.page]);
                ClickButton(Item(p.add));
                EXPECT_EQ(ListEntries(Item(p.list)), Lines{paths[p.page]});
            });
        s.Then([&] { ClickTab(Item(C::PageControl), 2); }).Then([&] {
            TypeOver(Item(C::Edit1), typed);
            EXPECT_EQ(TextOf(Item(C::Edit1)), typed);
        });
    });
    EXPECT_EQ(settings.SourceDirs, Lines{dirPath});
    EXPECT_EQ(settings.SourceFiles, Lines{filePath});
    EXPECT_EQ(IniList(ini, "SourceDir"), Lines{dirPath});
    EXPECT_EQ(IniList(ini, "SourceFile"), Lines{filePath});
}

TEST_F(DialogTest, TypedPathsAndPatternsCodePage1251CannotHoldAreRefusedWithAMessageAndCyrillicOnesAreTaken) {
    settings.SourceDirs = {"C:\\A"};
    settings.SourceFiles = {"C:\\f.txt"};
    const std::wstring accented = L"T:\\R\u00E9sum\u00E9";       // Résumé: best fit would make it "Resume"
    const std::wstring japanese = L"T:\\\u65E5\u672C\\a.txt";    // 日本
    const std::string cyrillic = "T:\\\xCE\xF2\xF7\xB8\xF2\xFB"; // T:\Отчёты
    const std::wstring why =
        L"\u041F\u0443\u0442\u044C \u0441\u043E\u0434\u0435\u0440\u0436\u0438\u0442 "; // «Путь содержит »
    RunPage(0, [&](Script& s) {
        s.WithPicker(
             [&] {
                 ::SetWindowTextW(Item(C::DirectoryEdit3), accented.c_str());
                 ::PostMessageA(Item(C::dAdd), BM_CLICK, 0, 0); // the box runs a loop of its own
             },
             [&](HWND box) {
                 const std::wstring text = TakeMessageBox(box);
                 EXPECT_EQ(text.rfind(why, 0), 0u);
                 EXPECT_NE(text.find(L"Windows-1251: " + accented), std::wstring::npos);
             },
             "the message box")
            .Then([&] {
                EXPECT_EQ(ListEntries(Item(C::ListBoxDir)), (Lines{"C:\\A"}));
                EXPECT_EQ(WideText(Item(C::DirectoryEdit3)), accented); // kept for correcting
                TypeOver(Item(C::DirectoryEdit3), cyrillic);
                ClickButton(Item(C::dAdd));
                EXPECT_EQ(ListEntries(Item(C::ListBoxDir)), (Lines{"C:\\A", cyrillic}));
                ClickTab(Item(C::PageControl), 1);
            })
            .WithPicker(
                [&] {
                    ::SetWindowTextW(Item(C::FilenameEdit1), japanese.c_str());
                    ::PostMessageA(Item(C::fAdd), BM_CLICK, 0, 0);
                },
                [&](HWND box) {
                    EXPECT_NE(TakeMessageBox(box).find(L"Windows-1251: " + japanese), std::wstring::npos);
                },
                "the message box")
            .Then([&] { EXPECT_EQ(ListEntries(Item(C::ListBoxFile)), (Lines{"C:\\f.txt"})); })
            .WithPicker(
                [&] {
                    ClickTab(Item(C::PageControl), 3);
                    ::SetWindowTextW(Item(C::ExcludeEdit), japanese.c_str());
                    ::PostMessageA(Item(C::eAdd), BM_CLICK, 0, 0);
                },
                [&](HWND box) {
                    EXPECT_EQ(TakeMessageBox(box).rfind(WidenCp1251("Шаблон содержит "), 0), 0u);
                },
                "the message box");
    });
    EXPECT_EQ(IniList(ini, "Exclude"), (Lines{"None"}));
    EXPECT_EQ(IniList(ini, "SourceDir"), (Lines{"C:\\A", cyrillic}));
    EXPECT_EQ(IniList(ini, "SourceFile"), (Lines{"C:\\f.txt"}));
}

TEST_F(DialogTest, AFolderPickedInTheBrowserThatCodePage1251CannotHoldIsRefusedAndTheFieldStays) {
    const std::wstring picked = WidenCp1251(folder) + L"R\u00E9sum\u00E9";
    ASSERT_TRUE(::CreateDirectoryW(picked.c_str(), nullptr));
    RunPage(0, [&](Script& s) {
        s.Then([&] {
             TypeText(Item(C::DirectoryEdit3), folder);
             PostBrowseClick(C::DirectoryEdit3);
         })
            .WaitFor([] { return FindPicker() != nullptr; }, "the folder browser")
            .Then([&] {
                ::SendMessageW(FindPicker(), BFFM_SETSELECTIONW, TRUE,
                               reinterpret_cast<LPARAM>(picked.c_str()));
                PickerOk(FindPicker());
            })
            .WaitFor([] { return FindPicker() && ::GetDlgItem(FindPicker(), kMessageText); },
                     "the message box")
            .Then([&] {
                EXPECT_NE(TakeMessageBox(FindPicker()).find(L"Windows-1251: " + picked), std::wstring::npos);
            })
            .WaitFor([] { return FindPicker() == nullptr; }, "the message box to close")
            .Then([&] { EXPECT_EQ(TextOf(Item(C::DirectoryEdit3)), folder); });
    });
}

// Network folders and files typed into the lists are taken as they are, and a backup folder on a
// share is shown and kept. (Wine's shell cannot parse a network path into an item, so a folder on a
// share is not picked in the browser here.)
TEST_F(DialogTest, NetworkFoldersAndFilesTypedAreTakenAsTheyAreAndANetworkBackupFolderIsKept) {
    const std::string folderTyped = "\\\\nas\\projects\\2026", file = "\\\\nas\\data\\отчёт.xls";
    settings.TargetDir = "\\\\nas\\backup\\Arch\\";
    std::string shown;
    RunPage(0, [&](Script& s) {
        s.Then([&] {
            TypeOver(Item(C::DirectoryEdit3), folderTyped);
            ClickButton(Item(C::dAdd));
            ClickTab(Item(C::PageControl), 1);
            TypeOver(Item(C::FilenameEdit1), file);
            ClickButton(Item(C::fAdd));
            shown = TextOf(Item(C::DirectoryEdit1));
        });
    });
    EXPECT_EQ(IniList(ini, "SourceDir"), Lines{folderTyped});
    EXPECT_EQ(IniList(ini, "SourceFile"), Lines{file});
    EXPECT_EQ(shown, "\\\\nas\\backup\\Arch\\");
    EXPECT_EQ(IniRead(ini, "Config", "TargetDir"), shown);
}
