// Not a test: shows the dialog's four pages, one after the other, for screenshots taken from
// outside (tools/ui-shots: the dialog_tests program with --gtest_also_run_disabled_tests and the
// filter *Screenshots*). For each page it creates T:\shots\pageN.ready and waits for pageN.done.
#include "dialog_runner.h"

using namespace vestrand;
using namespace vestrand::test;

TEST_F(DialogTest, DISABLED_Screenshots) {
    const std::string shots = FreshFolder('T', "shots");
    settings.SourceDirs = {"C:\\Data", "D:\\Документы\\Проекты", "E:\\Mail\\"};
    settings.SourceFiles = {"C:\\boot.ini", "D:\\Отчёты\\баланс 2024.xls"};
    settings.Exclude = {"Thumbs.db", "*.tmp", "~$*", "Temp\\"};
    settings.IdentifComp = "Бухгалтерия";
    settings.TargetDir = "F:\\Arch\\";
    settings.SaveMin = 60;
    settings.LowDriveSpaceMb = 10;
    RunPage(0, [&](Script& s) {
        s.Then([&] { ClickListRow(Item(DialogControl::ListBoxDir), 1); });
        for (int page = 0; page < kPageCount; ++page) {
            const std::string name = shots + "page" + std::to_string(page);
            s.Then([&, page, name] {
                 ClickTab(Item(DialogControl::PageControl), page);
                 if (page == 2) { // a selection shown in a number field
                     ::SetFocus(Item(DialogControl::RxSpinEdit1));
                     ::SendMessageA(Item(DialogControl::RxSpinEdit1), EM_SETSEL, 0, -1);
                 }
                 WriteFile(name + ".ready", "");
             })
                .WaitFor(
                    [name] {
                        return ::GetFileAttributesA((name + ".done").c_str()) != INVALID_FILE_ATTRIBUTES;
                    },
                    "the screenshot");
        }
    });
}
