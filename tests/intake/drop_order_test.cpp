// Orders made from drops: a TMPUPLOAD_ folder filled with shortcuts, then renamed.
#include <gtest/gtest.h>

#include <algorithm>

#include "base/fsys.h"
#include "base/path.h"
#include "intake/drop_order.h"
#include "intake/shortcut.h"
#include "support/fake_clock.h"
#include "support/test_util.h"

using namespace zk;

TEST(DropOrder, NameIsHexOfSecondsPlusMilliseconds) {
    EXPECT_EQ(DropOrderName(0x65000000, 0x10), L"65000010");
    EXPECT_EQ(DropOrderName(0x1FFFFFFFFLL, 1), L"0") << "low 32 bits";
    EXPECT_EQ(DropOrderName(0xABC, 0), L"ABC") << "no leading zeros";
}

namespace {

// Stands in for the shell: a "shortcut" is a file holding its target's path.
int32_t FakeShortcut(const std::wstring& target, const std::wstring& shortcut) {
    test::WriteFile(shortcut, test::Narrow(target));
    return kHrOk;
}

std::vector<std::wstring> SortedNames(const std::wstring& folder) {
    std::vector<DirEntry> entries;
    ListFolder(folder, L"*.*", entries);
    std::vector<std::wstring> names;
    for (auto& e : entries) names.push_back(e.name);
    std::sort(names.begin(), names.end());
    return names;
}

}  // namespace

TEST(DropOrder, AcceptedFilesBecomeOneOrderFolder) {
    test::TempDir audit(L"dropaudit");
    test::TempDir source(L"dropsrc");
    std::vector<std::wstring> paths = {source / L"a.jpg", source / L"b.kzo", source / L"c.txt"};
    for (auto& p : paths) test::WriteFile(p, "x");
    test::FakeClock clock(0x65000000);
    clock.SetTicks(0x22);
    int done = 0;
    const DropOrderResult r = BuildDropOrder(
        audit.Path(), paths, [](const std::wstring& p) { return p.substr(p.size() - 4) != L".txt"; }, [&] { ++done; }, clock,
        FakeShortcut);
    EXPECT_EQ(done, 3) << "every dropped file lowers the pending count";
    EXPECT_EQ(r.accepted, 2);
    EXPECT_TRUE(r.failed.empty());
    EXPECT_EQ(r.finalFolder, audit / L"65000022");
    EXPECT_FALSE(PathExists(r.tempFolder));
    EXPECT_EQ(FileNamePart(r.tempFolder), L"TMPUPLOAD_65000022");
    EXPECT_EQ(SortedNames(r.finalFolder), (std::vector<std::wstring>{L"a.jpg.lnk", L"b.kzo.lnk"}));
    EXPECT_EQ(test::ReadFile(JoinPath(r.finalFolder, L"a.jpg.lnk")), test::Narrow(paths[0]));
    EXPECT_TRUE(PathExists(paths[0])) << "the dropped file stays where it lies";
}

TEST(DropOrder, FilesOfOneNameFromTwoFoldersGetAShortcutEach) {
    test::TempDir audit(L"dropsame");
    test::TempDir one(L"dropone"), two(L"droptwo"), three(L"dropthree");
    const std::vector<std::wstring> paths = {one / L"photo.jpg", two / L"photo.jpg", three / L"photo.jpg", one / L"README", two / L"README"};
    for (auto& p : paths) test::WriteFile(p, "x");
    test::FakeClock clock(0x100);
    const DropOrderResult r = BuildDropOrder(audit.Path(), paths, [](const std::wstring&) { return true; }, {}, clock, FakeShortcut);
    EXPECT_EQ(r.accepted, 5);
    EXPECT_EQ(SortedNames(r.finalFolder), (std::vector<std::wstring>{L"README (2).lnk", L"README.lnk", L"photo (2).jpg.lnk",
                                                                      L"photo (3).jpg.lnk", L"photo.jpg.lnk"}));
    EXPECT_EQ(test::ReadFile(JoinPath(r.finalFolder, L"photo.jpg.lnk")), test::Narrow(paths[0]));
    EXPECT_EQ(test::ReadFile(JoinPath(r.finalFolder, L"photo (2).jpg.lnk")), test::Narrow(paths[1]));
    EXPECT_EQ(test::ReadFile(JoinPath(r.finalFolder, L"photo (3).jpg.lnk")), test::Narrow(paths[2]));
    EXPECT_EQ(test::ReadFile(JoinPath(r.finalFolder, L"README (2).lnk")), test::Narrow(paths[4]));
}

TEST(DropOrder, AShortcutThatCannotBeMadeIsReported) {
    test::TempDir audit(L"dropfail"), source(L"dropfailsrc");
    test::FakeClock clock(0x200);
    const DropOrderResult r = BuildDropOrder(
        audit.Path(), {source / L"ok.jpg", source / L"bad.jpg"}, [](const std::wstring&) { return true; }, {}, clock,
        [](const std::wstring& target, const std::wstring& shortcut) {
            return target.find(L"bad") != std::wstring::npos ? static_cast<int32_t>(0x80004005) : FakeShortcut(target, shortcut);
        });
    EXPECT_EQ(r.accepted, 1);
    EXPECT_EQ(r.failed, (std::vector<std::wstring>{source / L"bad.jpg"}));
    EXPECT_EQ(SortedNames(r.finalFolder), (std::vector<std::wstring>{L"ok.jpg.lnk"}));
}

TEST(DropOrder, NothingAcceptedLeavesNoOrder) {
    test::TempDir audit(L"dropnone");
    test::FakeClock clock(1000);
    const DropOrderResult r = BuildDropOrder(audit.Path(), {L"x.txt", L"y.doc"}, [](const std::wstring&) { return false; }, {}, clock);
    EXPECT_TRUE(r.folderCreated);
    EXPECT_EQ(r.accepted, 0);
    EXPECT_TRUE(r.finalFolder.empty());
    std::vector<DirEntry> e;
    EXPECT_EQ(ListFolder(audit.Path(), L"*.*", e), ListResult::NoMatch) << "the temporary folder is removed again";
}
