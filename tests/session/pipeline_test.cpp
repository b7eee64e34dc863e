// Audit, splitter and session together against the reference service, on real folders.
#include <gtest/gtest.h>

#include <chrono>
#include <map>
#include <memory>
#include <mutex>
#include <thread>

#include "base/fsys.h"
#include "base/path.h"
#include "base/utf16.h"
#include "intake/big_file.h"
#include "intake/chunk_name.h"
#include "intake/folder_audit.h"
#include "intake/shortcut.h"
#include "audit_session.h"
#include "session_helpers.h"

using namespace zk;
using namespace std::chrono_literals;

TEST(Pipeline, TwentyOrdersArriveExactlyOnceAndTheirFoldersGo) {
    refsrv::RefService service;
    ASSERT_TRUE(service.Start());
    test::TempDir dir(L"pipe");
    test::TempDir outside(L"targets");
    const std::wstring root = WithTrailingSeparator(dir.Path());
    const uint64_t chunk = 256 * 1024;

    // Orders: Cyrillic names, one big file in every fifth order, shortcuts where the platform has them.
    std::map<std::wstring, std::string> expected;  // full path as sent (or source for chunks) -> bytes
    std::vector<std::wstring> targets;
    std::map<std::wstring, std::wstring> linkTarget;  // shortcut path -> its target
    const bool haveLinks = CreateShortcut(L"x", outside / L"probe.lnk") == kHrOk;
    (void)DeleteFileAt(outside / L"probe.lnk");  // made only where the platform has shortcuts
    for (int o = 0; o < 20; ++o) {
        const std::wstring folder = root + L"\u0417\u0430\u043A\u0430\u0437 " + std::to_wstring(o);
        EXPECT_TRUE(CreateFolder(folder));
        for (int f = 0; f < 3; ++f) {
            const std::wstring name = JoinPath(folder, (f == 0 ? L"\u0444\u043E\u0442\u043E" : L"img") + std::to_wstring(f) + L".jpg");
            const size_t size = (o % 5 == 0 && f == 1) ? 700 * 1024 + o : 2000 + o * 13 + f;
            expected[name] = test::PatternBytes(size, o * 7 + f);
            test::WriteFile(name, expected[name]);
        }
        if (haveLinks && o % 4 == 1) {
            const std::wstring target = outside / (L"target" + std::to_wstring(o) + L".jpg");
            expected[target] = test::PatternBytes(o % 8 == 1 ? 600 * 1024 : 3000, 1000 + o);
            test::WriteFile(target, expected[target]);
            ASSERT_EQ(CreateShortcut(target, JoinPath(folder, L"link.jpg.lnk")), kHrOk);
            linkTarget[JoinPath(folder, L"link.jpg.lnk")] = target;
            targets.push_back(target);
        }
    }

    CVelmoFolderAudit audit;
    audit.sizeLimit = chunk;
    audit.contentListFlag = true;
    CVelmoBigFile splitter;
    splitter.chunkSize = chunk;
    splitter.SetRegistry(&audit.Registry());
    CVelmoConnect session;
    test::Configure(session, service);
    session.SetRegistry(&audit.Registry());
    const auto t0 = std::chrono::steady_clock::now();
    ASSERT_TRUE(session.Start());
    ASSERT_TRUE(audit.Start(root));
    ASSERT_TRUE(splitter.Start());

    ASSERT_TRUE(test::WaitUntil(
        [&] {
            std::vector<DirEntry> left;
            return ListFolder(root, L"*.*", left) == ListResult::NoMatch && audit.Registry().taskCount == 0;
        },
        180s));
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    session.Stop();
    splitter.Stop();

    // Reassemble what the server accepted: whole files by path, chunks by their source path.
    std::map<std::wstring, std::string> got;
    std::map<std::wstring, int> times;
    int lists = 0;
    uint64_t bytes = 0;
    for (const auto& r : service.Received()) {
        bytes += r.data.size();
        const std::wstring name = FileNamePart(r.fn);
        if (name.rfind(L"_content_", 0) == 0) {
            ++lists;
            continue;
        }
        // A chunk belongs to its source; the chunks of a shortcut are cut from its target.
        const ChunkNameInfo chunkInfo = ParseChunkName(r.fn);
        std::wstring source = chunkInfo.isChunk ? chunkInfo.sourcePath : r.fn;
        if (linkTarget.count(source)) source = linkTarget[source];
        got[source] += r.data;
        ++times[r.fn];
    }
    for (auto& [fn, n] : times) EXPECT_EQ(n, 1) << "sent twice: " << test::Narrow(fn);
    EXPECT_EQ(lists, 20);
    ASSERT_EQ(got.size(), expected.size());
    for (auto& [path, data] : expected) EXPECT_TRUE(got[path] == data) << test::Narrow(path);
    for (auto& t : targets) EXPECT_TRUE(PathExists(t)) << "a shortcut's target stays";
    EXPECT_EQ(audit.Registry().queuedBytes.load(), 0);
    std::printf("pipeline: 20 orders, %zu files accepted, %llu bytes, %.1f s\n", service.Received().size(),
                static_cast<unsigned long long>(bytes), seconds);
}

// Orders that can never be emptied end once, are set aside with one reason, are not listed
// again until something in them changes, and never send an accepted file twice.
TEST(Pipeline, OrdersThatCannotBeEmptiedEndOnceAndComeBackWhenTheyChange) {
    test::AuditSession p;
    const std::wstring nested = p.Order(L"nested", {{L"a.jpg", "aaa"}});
    EXPECT_TRUE(CreateFolder(nested + L"sub"));
    test::WriteFile(nested + L"sub" + std::wstring(1, kPathSep) + L"inner.jpg", "never listed");
    const std::wstring held = p.Order(L"held", {{L"b.jpg", "bbb"}, {L"c.jpg", "ccc"}});
    // c.jpg is accepted but will not be deleted (held from the moment its upload begins).
    std::unique_ptr<test::FileUndeletable> hold;
    p.log.onEvent = [&](bool auth, int code, CVelmoConnect* c) {
        if (!auth && code == kTransferBegin && FileNamePart(c->Snapshot().currentFile) == L"c.jpg" && !hold)
            hold = std::make_unique<test::FileUndeletable>(held + L"c.jpg");
    };
    ASSERT_TRUE(p.Start());
    ASSERT_TRUE(test::WaitUntil([&] { return p.SetAside().size() == 2; }, 30s));
    if (!hold || !hold->Active()) GTEST_SKIP() << "this file system cannot refuse a deletion";
    std::this_thread::sleep_for(3500ms);  // several scans of the audit folder
    EXPECT_EQ(p.SetAside().size(), 2u) << "one notice per order, not one per scan";
    EXPECT_EQ(p.TasksSent(), 2u) << "not listed again";
    for (auto& n : p.SetAside()) {
        if (n.path == nested) EXPECT_NE(n.reason.find(L"\"sub\""), std::wstring::npos) << test::Narrow(n.reason);
        else EXPECT_NE(n.reason.find(L"\"c.jpg\""), std::wstring::npos) << test::Narrow(n.reason);
    }
    // A new file in the held order: listed again, the new file goes, c.jpg is not sent twice.
    test::WriteFile(held + L"d.jpg", "ddd");
    ASSERT_TRUE(test::WaitUntil([&] { return p.ReceivedTimes()[L"d.jpg"] == 1; }, 30s));
    ASSERT_TRUE(test::WaitUntil([&] { return p.SetAside().size() == 3; }, 30s)) << "set aside again: c.jpg still stays";
    // c.jpg can go at last: deleted on a later pass, then the emptied folder goes.
    hold->Release();
    ASSERT_TRUE(test::WaitUntil([&] { return !PathExists(held); }, 30s));
    ASSERT_FALSE(p.Deleted().empty());
    EXPECT_EQ(p.Deleted().back().path, held + L"c.jpg");
    // The nested order changes when its subfolder goes: it is listed and its folder removed.
    test::RemoveTree(nested + L"sub");
    ASSERT_TRUE(test::WaitUntil([&] { return !PathExists(nested); }, 30s));
    EXPECT_EQ(p.ReceivedTimes(), (std::map<std::wstring, int>{{L"a.jpg", 1}, {L"b.jpg", 1}, {L"c.jpg", 1}, {L"d.jpg", 1}}));
    EXPECT_TRUE(test::WaitUntil([&] { return p.audit.Registry().taskCount == 0; })) << "the folder goes just before its task";
}

// An accepted file that could not be deleted at once and was rewritten before its task ended is
// not what the server has: it stays, and goes again as its new self. The rewrite comes at the
// start of the order's second upload, on the loop's own thread, so its moment is exact.
TEST(Pipeline, AFileRewrittenAfterItsAcceptanceIsSentAgainNotDeleted) {
    std::mutex mutex;  // guards what the loop's thread writes below (declared before the loop's owner)
    std::unique_ptr<test::FileUndeletable> hold;
    std::wstring firstSent;
    int begun = 0;
    bool held = false;
    test::AuditSession p;
    const std::wstring order = p.Order(L"rewritten", {{L"a.jpg", "first version"}, {L"b.jpg", "bbb"}});
    p.log.onEvent = [&](bool auth, int code, CVelmoConnect* c) {
        if (auth || code != kTransferBegin) return;
        std::lock_guard lock(mutex);
        if (++begun == 1) {
            firstSent = c->Snapshot().currentFile;
            hold = std::make_unique<test::FileUndeletable>(firstSent);  // accepted, but it will not go yet
            held = hold->Active();
        } else if (begun == 2) {
            hold->Release();
            test::WriteFile(firstSent, "the second version, longer");
        }
    };
    ASSERT_TRUE(p.Start());
    ASSERT_TRUE(test::WaitUntil([&] { return !PathExists(order); }, 30s)) << "sent again, then deleted, then the folder went";
    std::lock_guard lock(mutex);
    if (!held) GTEST_SKIP() << "this file system cannot refuse a deletion";
    const std::wstring name = FileNamePart(firstSent);
    EXPECT_EQ(p.ReceivedTimes()[name], 2);
    std::vector<std::string> versions;
    for (auto& r : p.service.Received())
        if (FileNamePart(r.fn) == name) versions.push_back(r.data);
    EXPECT_EQ(versions, (std::vector<std::string>{name == L"a.jpg" ? "first version" : "bbb", "the second version, longer"}));
}

// A file rewritten while its upload runs: the server got bytes of the old version (or a mix), so
// the file is kept at the acceptance and sent again.
TEST(Pipeline, AFileRewrittenDuringItsUploadIsKeptAndSentAgain) {
    std::mutex mutex;  // guards the flags, written on the loop's thread (declared before its owner)
    bool rewritten = false, refused = false;
    const std::string second = test::PatternBytes(70 * 1024, 4);
    test::AuditSession p;
    const std::wstring order = p.Order(L"changing", {{L"c.jpg", test::PatternBytes(64 * 1024, 3)}});
    p.log.onEvent = [&](bool auth, int code, CVelmoConnect* c) {
        if (auth || code != kTransferStep) return;
        std::lock_guard lock(mutex);
        if (rewritten || refused || c->Snapshot().currentFilePosted < 8 * 1024) return;
        test::WriteFile(order + L"c.jpg", second);
        rewritten = test::ReadFile(order + L"c.jpg") == second;
        if (!rewritten) refused = true;  // Windows: the upload's own handle shuts writers out
    };
    ASSERT_TRUE(p.Start());
    ASSERT_TRUE(test::WaitUntil([&] { return !PathExists(order); }, 30s));
    std::lock_guard lock(mutex);
    if (refused) GTEST_SKIP() << "the platform refused the rewrite during the upload";
    EXPECT_TRUE(rewritten);
    const auto received = p.service.Received();
    ASSERT_GE(received.size(), 2u);
    EXPECT_EQ(received.back().data, second) << "the last stored version is the file as it stands";
}
