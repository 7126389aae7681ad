// The history of a mirror folder built from journal text and the lists of held files.
#include <gtest/gtest.h>

#include <cwctype>
#include <functional>

#include "engine/held_versions.h"
#include "engine/history.h"
#include "engine/journal.h"
#include "journal_kit.h"
#include "runtime/cp1251.h"

using namespace vestrand;
using namespace vestrand::test;

namespace {

const wchar_t* Upper() {
    static std::wstring table = [] {
        std::wstring t(65536, L'\0');
        for (size_t i = 0; i < t.size(); ++i)
            t[i] = static_cast<wchar_t>(std::towupper(static_cast<wint_t>(i)));
        return t;
    }();
    return table.c_str();
}

const std::string kRoot = "T:\\B\\PC\\";

DateTime At(int hour, int minute, int second) {
    CivilTime t;
    t.year = 2026, t.month = 12, t.day = 6, t.hour = hour, t.minute = minute, t.second = second;
    return EncodeDateTime(t);
}

// A block of the journal: Start and Stop on 06.12.26 at the times given ("hh:nn:ss").
Lines Block(const std::string& start, const std::string& stop, const Lines& body) {
    Lines out{"Start 06.12.26 " + start};
    out.insert(out.end(), body.begin(), body.end());
    if (!stop.empty())
        out.push_back("Stop 06.12.26 " + stop);
    out.push_back("NextStart 06.12.26 23:00:00");
    out.push_back("");
    return out;
}

// A stamped folder of 06.12.26 ("hhnnss") and the files it holds, each with a size of its own.
HeldFolder Held(const std::string& hhnnss, const std::vector<std::wstring>& files) {
    HeldFolder h;
    h.name = L"2026-12-06 " + WidenCp1251(hhnnss);
    StampOfFolderName(h.name, h.stamp);
    for (const auto& f : files)
        h.files.push_back({f, TFileParam{1, 7, 0x20}});
    return h;
}

struct Scenario {
    const char* what;
    std::vector<Lines> blocks;
    std::vector<HeldFolder> held;
    std::vector<std::wstring> mirror; // folders end in "\"
    std::vector<std::string> stops;   // the moments offered, "hh:nn:ss"
    // Per moment offered, then now: every entry below the top, "rel" from the mirror (folders end in
    // "\"), "rel @hhnnss" held in that stamped folder, "rel\ +" a folder brought back.
    std::vector<std::vector<std::wstring>> trees;
};

History Build(const Scenario& s) {
    Lines lines;
    for (const auto& b : s.blocks)
        lines.insert(lines.end(), b.begin(), b.end());
    std::string text;
    for (const auto& l : lines)
        text += l + "\r\n";
    std::vector<ListedEntry> mirror;
    for (const auto& m : s.mirror) {
        const bool folder = m.back() == L'\\';
        mirror.push_back({folder ? m.substr(0, m.size() - 1) : m, TFileParam{2, 9, folder ? 0x10 : 0x20}});
    }
    return History(text, kRoot, s.held, mirror, Upper());
}

std::vector<std::wstring> Shown(const std::vector<HistoryEntry>& entries) {
    std::vector<std::wstring> out;
    for (const auto& e : entries) {
        if (e.rel.empty())
            continue;
        switch (e.source) {
        case EntrySource::Mirror:
            out.push_back(e.rel + (e.IsFolder() ? L"\\" : L""));
            break;
        case EntrySource::Held:
            out.push_back(e.rel + L" @" + e.held.substr(11));
            break;
        case EntrySource::FolderOnly:
            out.push_back(e.rel + L"\\ +");
            break;
        }
    }
    return out;
}

std::string StopText(DateTime t) {
    return FormatTimeStamp(t, ':').substr(9);
}

const std::vector<Scenario>& Scenarios() {
    static const std::vector<Scenario> all = {
        {"every pass undone; a killed pass's stamped folder; names code page 1251 cannot hold",
         {Block("10:00:00", "10:00:05",
                {NewLine(kRoot + "a.txt"), NewLine(kRoot + "b"), NewLine(kRoot + "b\\c.txt"),
                 NewLine(kRoot + "d.txt"), NewLine(kRoot + "e")}),
          Block("11:00:00", "11:00:04", {UpdateLine(kRoot + "a.txt")}),
          Block("12:00:00", "12:00:09",
                {DeleteLine("d.txt"), DeleteLine("e"), NewLine(kRoot + "<U+65E5>.txt"),
                 DeleteLine("<U+00E9>t<U+00E9>.txt"), FailedLine(kRoot + "zz.txt")})},
         {Held("110000", {L"a.txt"}), Held("113000", {L"b\\c.txt"}),
          Held("120000", {L"d.txt", L"\u00e9t\u00e9.txt"})},
         {L"a.txt", L"b\\", L"b\\c.txt", L"\u65e5.txt"},
         {"10:00:05", "11:00:04", "12:00:09"},
         {{L"a.txt @110000", L"b\\", L"b\\c.txt @113000", L"d.txt @120000", L"e\\ +",
           L"\u00e9t\u00e9.txt @120000"},
          {L"a.txt", L"b\\", L"b\\c.txt @113000", L"d.txt @120000", L"e\\ +", L"\u00e9t\u00e9.txt @120000"},
          {L"a.txt", L"b\\", L"b\\c.txt", L"\u65e5.txt"},
          {L"a.txt", L"b\\", L"b\\c.txt", L"\u65e5.txt"}}},
        {"a changed TargetDir, an update not held and a file deleted with versions off end the history",
         {Block("09:00:00", "09:00:02", {NewLine("S:\\Old\\PC\\x.txt")}),
          Block("10:00:00", "10:00:02", {NewLine(kRoot + "a.txt"), NewLine(kRoot + "old.txt")}),
          Block("11:00:00", "11:00:02", {UpdateLine(kRoot + "a.txt")}),
          Block("12:00:00", "12:00:02", {DeleteLine("old.txt")}),
          Block("13:00:00", "13:00:02", {DeleteLine("a.txt"), DeleteLine("f"), NewLine(kRoot + "b.txt")})},
         {Held("130000", {L"a.txt"})},
         {L"b.txt"},
         {"12:00:02", "13:00:02"},
         {{L"a.txt @130000", L"f\\ +"}, {L"b.txt"}, {L"b.txt"}}},
        {"a deleted folder comes back with the held files in it; a pass held its folders' files",
         {Block("10:00:00", "10:00:01", {NewLine(kRoot + "p"), NewLine(kRoot + "p\\q.txt")}),
          Block("11:00:00", "11:00:01", {DeleteLine("p\\q.txt")}),
          Block("12:00:00", "12:00:01", {DeleteLine("p")})},
         {Held("110000", {L"p\\q.txt"})},
         {},
         {"10:00:01", "11:00:01", "12:00:01"},
         {{L"p\\ +", L"p\\q.txt @110000"}, {L"p\\ +"}, {}, {}}},
        {"the mirror's spelling names what it holds, whatever the journal's lines spell",
         {Block("10:00:00", "10:00:01", {NewLine(kRoot + "DIR"), NewLine(kRoot + "DIR\\A.TXT")})},
         {},
         {L"Dir\\", L"Dir\\a.txt"},
         {"10:00:01"},
         {{L"Dir\\", L"Dir\\a.txt"}, {L"Dir\\", L"Dir\\a.txt"}}},
        {"a Start line seconds after its stamp pairs with nothing: its update is not held",
         {Block("10:00:00", "10:00:01", {NewLine(kRoot + "a.txt")}),
          Block("11:00:02", "11:00:03", {UpdateLine(kRoot + "a.txt")})},
         {Held("110000", {L"a.txt"})},
         {L"a.txt"},
         {"11:00:03"},
         {{L"a.txt"}, {L"a.txt"}}},
    };
    return all;
}

} // namespace

TEST(History, MomentsAndWhatEachHoldsFollowFromTheJournalAndTheHeldFiles) {
    for (const auto& s : Scenarios()) {
        SCOPED_TRACE(s.what);
        const History history = Build(s);
        std::vector<std::string> stops;
        for (const auto& m : history.Moments())
            stops.push_back(StopText(m.stop));
        EXPECT_EQ(stops, s.stops);
        std::vector<std::vector<std::wstring>> trees;
        for (const auto& m : history.Moments())
            trees.push_back(Shown(history.Tree(m, L"")));
        trees.push_back(Shown(history.Tree(history.Now(), L"")));
        EXPECT_EQ(trees, s.trees);
    }
}

TEST(History, AFolderAndASearchShowWhatTheTreeShows) {
    const History history = Build(Scenarios()[0]);
    const HistoryMoment first = history.Moments().front();
    EXPECT_EQ(Shown(history.Folder(first, L"")),
              (std::vector<std::wstring>{L"b\\", L"e\\ +", L"a.txt @110000", L"d.txt @120000",
                                         L"\u00e9t\u00e9.txt @120000"}));
    EXPECT_EQ(Shown(history.Folder(first, L"B")), (std::vector<std::wstring>{L"b\\c.txt @113000"}));
    EXPECT_EQ(Shown(history.Find(first, L".TXT")),
              (std::vector<std::wstring>{L"a.txt @110000", L"b\\c.txt @113000", L"d.txt @120000",
                                         L"\u00e9t\u00e9.txt @120000"}));
    EXPECT_EQ(Shown(history.Find(history.Now(), L"\u65e5")), (std::vector<std::wstring>{L"\u65e5.txt"}));
    EXPECT_FALSE(history.Entry(first, L"\u65e5.txt"));
    EXPECT_FALSE(history.Entry(first, L"nothing\\at.all"));
}

TEST(History, AMomentIsTheNewestPassEndedByTheTimeAsked) {
    const History history = Build(Scenarios()[0]);
    const struct {
        DateTime when;
        const char* stop; // "" for none
    } cases[] = {
        {At(10, 0, 4), ""},          {At(10, 0, 5), "10:00:05"},   {At(11, 0, 3), "10:00:05"},
        {At(11, 0, 59), "11:00:04"}, {At(23, 59, 59), "12:00:09"},
    };
    for (const auto& c : cases) {
        const auto m = history.MomentAtOrBefore(c.when);
        EXPECT_EQ(m ? StopText(m->stop) : "", c.stop) << FormatTimeStamp(c.when, ':');
    }
}

// A stamped folder's list is read only when whole: a list cut short by a killed pass leaves the
// folder to be searched.
TEST(History, AHeldListIsReadBackOnlyWhenWhole) {
    const std::wstring odd = L"a\\\u00e9\u4e2d \u0444.txt";
    const std::string whole =
        HeldListLine(L"x.doc", {100, 5, 32}) + HeldListLine(odd, {-7, 1LL << 40, 1}) + HeldListEnd(2);
    std::vector<ListedEntry> files;
    ASSERT_TRUE(ReadHeldList(whole, files));
    ASSERT_EQ(files.size(), 2u);
    EXPECT_EQ(files[1].rel, odd);
    EXPECT_EQ(files[1].param.Time, -7);
    EXPECT_EQ(int64_t{files[1].param.Size}, 1LL << 40);
    EXPECT_TRUE(ReadHeldList(HeldListEnd(0), files) && files.empty());
    for (const std::string& bad :
         {whole.substr(0, whole.size() - 3), whole.substr(0, whole.find("end")), whole + "1\t1\t1\tmore\r\n",
          HeldListLine(L"x", {1, 1, 1}) + HeldListEnd(2), std::string("1\t\t1\tx\r\n") + HeldListEnd(1),
          std::string()})
        EXPECT_FALSE(ReadHeldList(bad, files)) << bad;
}

TEST(History, EachMomentCountsTheFilesItsPassMadeUpdatedAndDeleted) {
    const struct {
        size_t scenario;
        std::vector<std::vector<int>> counts; // per moment: new, changed, deleted
    } cases[] = {{0, {{3, 0, 0}, {0, 1, 0}, {1, 0, 2}}}, {2, {{1, 0, 0}, {0, 0, 1}, {0, 0, 0}}}};
    for (const auto& c : cases) {
        std::vector<std::vector<int>> counts;
        const History history = Build(Scenarios()[c.scenario]);
        for (const auto& m : history.Moments())
            counts.push_back({m.added, m.changed, m.deleted});
        EXPECT_EQ(counts, c.counts) << Scenarios()[c.scenario].what;
    }
}

// The mirror is read folder by folder as far as the history is looked at: opening lists only the
// path of a deletion nothing else tells the kind of and the folders of what passes made new, a
// folder the folders down to it, a search all.
TEST(History, TheMirrorIsListedOnlyAsFarAsItIsLookedAt) {
    const std::vector<std::pair<std::wstring, bool>> mirror = {
        {L"A", true}, {L"A\\B", true}, {L"A\\B\\x.txt", false}, {L"C", true},     {L"C\\y.txt", false},
        {L"D", true}, {L"E", true},    {L"E\\w.txt", false},    {L"z.txt", false}};
    std::vector<std::wstring> asked;
    MirrorAccess access;
    access.list = [&](const std::wstring& folder) {
        asked.push_back(folder);
        std::vector<ListedEntry> out;
        for (const auto& [rel, isFolder] : mirror)
            if (rel.size() > folder.size() && rel.rfind(folder.empty() ? L"" : folder + L"\\", 0) == 0 &&
                rel.find(L'\\', folder.empty() ? 0 : folder.size() + 1) == std::wstring::npos)
                out.push_back({rel.substr(folder.empty() ? 0 : folder.size() + 1),
                               TFileParam{2, 9, isFolder ? 0x10 : 0x20}});
        return out;
    };
    access.entry = [&](const std::wstring& rel) -> std::optional<TFileParam> {
        for (const auto& [path, isFolder] : mirror)
            if (path == rel)
                return TFileParam{2, 9, isFolder ? 0x10 : 0x20};
        return std::nullopt;
    };
    const std::string journal = JoinJournalLines(Block(
        "10:00:00", "10:00:01",
        {NewLine(kRoot + "A\\B\\x.txt"), NewLine(kRoot + "z.txt"), NewLine(kRoot + "D"), DeleteLine("E")}));
    const History history(journal, kRoot, {}, access, Upper());
    const HistoryMoment now = history.Now();
    EXPECT_EQ(history.Moments().back().added, 2); // the empty folder D is no file
    const struct {
        std::function<void()> look;
        std::vector<std::wstring> listed; // what the look adds to the folders listed
    } cases[] = {// Opening lists the folder a pass deleted and those holding what a pass made new,
                 // whose listings tell the files among them for the moments' counts.
                 {[] {}, {L"E", L"A\\B", L""}},
                 {[&] { history.Folder(now, L"a\\b"); }, {L"A"}},
                 {[&] { history.Entry(now, L"C\\y.txt"); }, {L"C"}},
                 {[&] { history.Find(now, L"w"); }, {L"D"}}};
    size_t before = 0;
    for (const auto& c : cases) {
        c.look();
        EXPECT_EQ(std::vector<std::wstring>(asked.begin() + static_cast<ptrdiff_t>(before), asked.end()),
                  c.listed);
        before = asked.size();
    }
}
