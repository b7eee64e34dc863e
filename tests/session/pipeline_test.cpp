// Audit, splitter and session together against the reference service, on real folders.
#include <gtest/gtest.h>

#include <chrono>
#include <map>

#include "base/fsys.h"
#include "base/path.h"
#include "base/utf16.h"
#include "intake/big_file.h"
#include "intake/chunk_name.h"
#include "intake/folder_audit.h"
#include "intake/shortcut.h"
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
    DeleteFileAt(outside / L"probe.lnk");
    for (int o = 0; o < 20; ++o) {
        const std::wstring folder = root + L"\u0417\u0430\u043A\u0430\u0437 " + std::to_wstring(o);
        CreateFolder(folder);
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
