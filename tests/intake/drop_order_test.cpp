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

TEST(DropOrder, AcceptedFilesBecomeOneOrderFolder) {
    test::TempDir audit(L"dropaudit");
    test::TempDir source(L"dropsrc");
    std::vector<std::wstring> paths = {source / L"a.jpg", source / L"b.kzo", source / L"c.txt"};
    for (auto& p : paths) test::WriteFile(p, "x");
    test::FakeClock clock(0x65000000);
    clock.SetTicks(0x22);
    int done = 0;
    const DropOrderResult r = BuildDropOrder(
        audit.Path(), paths, [](const std::wstring& p) { return p.substr(p.size() - 4) != L".txt"; }, [&] { ++done; }, clock);
    EXPECT_EQ(done, 3) << "every dropped file lowers the pending count";
    EXPECT_EQ(r.accepted, 2);
    EXPECT_EQ(r.finalFolder, audit / L"65000022");
    EXPECT_FALSE(PathExists(r.tempFolder));
    EXPECT_EQ(FileNamePart(r.tempFolder), L"TMPUPLOAD_65000022");
    std::vector<DirEntry> links;
    ListFolder(r.finalFolder, L"*.*", links);
    const bool haveLinks = CreateShortcut(paths[0], audit / L"probe.lnk") == kHrOk;
    DeleteFileAt(audit / L"probe.lnk");
    if (haveLinks) {
        ASSERT_EQ(links.size(), 2u);
        std::vector<std::wstring> names{links[0].name, links[1].name};
        std::sort(names.begin(), names.end());
        EXPECT_EQ(names, (std::vector<std::wstring>{L"a.jpg.lnk", L"b.kzo.lnk"}));
        ShortcutInfo info;
        ASSERT_EQ(ResolveShortcut(JoinPath(r.finalFolder, L"a.jpg.lnk"), info), kHrOk);
        EXPECT_EQ(info.target, paths[0]) << "the dropped file stays where it lies";
    }
    EXPECT_TRUE(PathExists(paths[0]));
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
