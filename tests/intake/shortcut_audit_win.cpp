// Real shell links made with IShellLinkW under Wine, listed by the folder audit.
#include <gtest/gtest.h>

#include "base/fsys.h"
#include "base/path.h"
#include "intake/drop_order.h"
#include "intake/folder_audit.h"
#include "intake/shortcut.h"
#include "support/registry_view.h"
#include "support/test_util.h"

using namespace zk;

TEST(Shortcuts, CreateAndResolve) {
    test::TempDir dir(L"lnk");
    const std::wstring target = dir / L"\u0444\u043E\u0442\u043E.jpg";
    test::WriteFile(target, std::string(12345, 'p'));
    const std::wstring link = dir / L"a.jpg.lnk";
    ASSERT_EQ(CreateShortcut(target, link), kHrOk);
    ShortcutInfo info;
    ASSERT_EQ(ResolveShortcut(link, info), kHrOk);
    EXPECT_EQ(info.target, target);
    EXPECT_EQ(info.targetSize, 12345u);
    EXPECT_TRUE(IsResolvableShortcut(link, info));
    const std::wstring upper = dir / L"B.LNK";
    ASSERT_EQ(CreateShortcut(target, upper), kHrOk);
    EXPECT_FALSE(IsResolvableShortcut(upper, info)) << "only the lower-case extension counts";
    EXPECT_NE(ResolveShortcut(dir / L"nothing.lnk", info), kHrOk);
}

TEST(Shortcuts, AuditQueuesTheTargetOutsideTheOrder) {
    test::TempDir dir(L"lnkaudit");
    test::TempDir outside(L"outside");
    const std::wstring target = outside / L"big.tif";
    test::WriteFile(target, std::string(5000, 't'));
    const std::wstring gone = outside / L"gone.tif";
    test::WriteFile(gone, "soon deleted");
    const std::wstring order = WithTrailingSeparator(dir / L"order");
    EXPECT_TRUE(CreateFolder(dir / L"order"));
    ASSERT_EQ(CreateShortcut(target, order + L"big.tif.lnk"), kHrOk);
    ASSERT_EQ(CreateShortcut(gone, order + L"gone.tif.lnk"), kHrOk);
    ASSERT_EQ(CreateShortcut(target, order + L"UPPER.LNK"), kHrOk);
    EXPECT_TRUE(DeleteFileAt(gone));

    CVelmoFolderAudit audit;
    audit.sizeLimit = 4000;
    audit.contentListFlag = true;
    ASSERT_TRUE(audit.Start(dir.Path()));
    ASSERT_TRUE(test::WaitUntil([&] { return test::TaskStateOf(audit.Registry(), order) == kTaskSplit; }));
    const auto items = test::ItemsOf(audit.Registry(), order);
    ASSERT_EQ(items.size(), 3u) << "the shortcut to a missing target is skipped; plus the content list";
    const test::ItemView* link = nullptr;
    const test::ItemView* plain = nullptr;
    for (auto& i : items) {
        if (FileNamePart(i.value) == L"big.tif.lnk") link = &i;
        if (FileNamePart(i.value) == L"UPPER.LNK") plain = &i;
    }
    ASSERT_NE(link, nullptr);
    EXPECT_TRUE(link->sourceInLabel);
    EXPECT_EQ(link->label, target);
    EXPECT_EQ(link->size, 5000u);
    EXPECT_EQ(link->state, kFileTooBig);
    ASSERT_NE(plain, nullptr);
    EXPECT_FALSE(plain->sourceInLabel);
    EXPECT_TRUE(PathExists(order + L"gone.tif.lnk")) << "ignored, not deleted";
    // The content list names the target, not the shortcut.
    const std::string list = test::ReadFile(items.back().value);
    EXPECT_NE(list.find(test::Narrow(target)), std::string::npos);
    EXPECT_EQ(list.find("big.tif.lnk"), std::string::npos);
}

TEST(Shortcuts, DroppedFilesOfOneNameEachGetARealShortcut) {
    test::TempDir audit(L"lnkdrop"), one(L"lnkone"), two(L"lnktwo");
    const std::vector<std::wstring> paths = {one / L"\u0444\u043E\u0442\u043E.jpg", two / L"\u0444\u043E\u0442\u043E.jpg"};
    test::WriteFile(paths[0], "first");
    test::WriteFile(paths[1], "second");
    SystemClock clock;
    const DropOrderResult r = BuildDropOrder(audit.Path(), paths, [](const std::wstring&) { return true; }, {}, clock);
    ASSERT_EQ(r.accepted, 2);
    ASSERT_TRUE(r.failed.empty());
    ShortcutInfo info;
    ASSERT_EQ(ResolveShortcut(JoinPath(r.finalFolder, L"\u0444\u043E\u0442\u043E.jpg.lnk"), info), kHrOk);
    EXPECT_EQ(info.target, paths[0]);
    ASSERT_EQ(ResolveShortcut(JoinPath(r.finalFolder, L"\u0444\u043E\u0442\u043E (2).jpg.lnk"), info), kHrOk);
    EXPECT_EQ(info.target, paths[1]) << "the second file is not lost under the first one's shortcut";
}
