// Not a test: shows the dialog's three pages, one after the other, for screenshots taken from
// outside (tools: the dialog_tests program with --gtest_also_run_disabled_tests and the filter
// *Screenshots*). For each page it creates <folder>\pageN.ready and waits for pageN.done.
#include "dialog_helpers.h"

using namespace vestrand;
using namespace vestrand::test;

namespace {
bool Exists(const std::string& path) {
    return ::GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}
} // namespace

TEST_F(DialogTest, DISABLED_Screenshots) {
    const std::string shots = FreshFolder('T', "shots");
    settings.SourceDirs = {"C:\\Data", "D:\\Документы\\Проекты", "E:\\Mail\\"};
    settings.SourceFiles = {"C:\\boot.ini", "D:\\Отчёты\\баланс 2024.xls"};
    settings.IdentifComp = "Бухгалтерия";
    settings.TargetDir = "F:\\Arch\\";
    settings.SaveMin = 60;
    settings.LowDriveSpaceMb = 10;
    Script s(form, 120000);
    s.WhenOpen().Then([&] { ClickListRow(Item(DialogControl::ListBoxDir), 1); });
    for (int page = 0; page < 3; ++page) {
        const std::string ready = shots + "page" + std::to_string(page) + ".ready";
        const std::string done = shots + "page" + std::to_string(page) + ".done";
        s.Then([&, page, ready] {
            ClickTab(Item(DialogControl::PageControl), page);
            if (page == 2)
                SelectAll(Item(DialogControl::RxSpinEdit1));
            WriteFile(ready, "");
        });
        s.WaitFor([done] { return Exists(done); }, "the screenshot");
    }
    s.CloseByTitleBar();
    RunDialog(form, settings, ini, s);
}
