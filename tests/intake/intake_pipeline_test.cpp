// Folder audit and splitter together while an editor keeps writing orders.
#include <gtest/gtest.h>

#include <chrono>
#include <map>
#include <thread>
#include <vector>

#include "base/fsys.h"
#include "base/path.h"
#include "intake/big_file.h"
#include "intake/folder_audit.h"
#include "support/registry_view.h"
#include "support/test_util.h"

using namespace zk;
using namespace std::chrono_literals;

TEST(IntakePipeline, EveryOrderEndsReadyWithAllItsBytes) {
    test::TempDir dir(L"intake");
    const std::wstring root = WithTrailingSeparator(dir.Path());
    CVelmoFolderAudit audit;
    CVelmoBigFile splitter;
    const uint64_t limit = 256 * 1024;
    audit.sizeLimit = limit;
    audit.contentListFlag = true;
    splitter.chunkSize = limit;
    splitter.SetRegistry(&audit.Registry());
    ASSERT_TRUE(audit.Start(root));
    ASSERT_TRUE(splitter.Start());
    ASSERT_TRUE(test::WaitUntil([&] { return audit.Scans() > 0; }));  // its watch sees the renames from here on

    // The editor: every order's files are opened at once, written in slices, closed one by one;
    // every third order is written under a TMPUPLOAD_ name and renamed when complete, the others
    // in place (each becomes one task once it has settled).
    std::map<std::wstring, std::map<std::wstring, std::string>> expected;  // task -> file name -> bytes
    std::thread editor([&] {
        for (int o = 0; o < 12; ++o) {
            const std::wstring name = L"order" + std::to_wstring(o);
            const bool viaTmp = o % 3 == 0;
            const std::wstring folder = root + (viaTmp ? L"TMPUPLOAD_" : L"") + name;
            EXPECT_TRUE(CreateFolder(folder));
            std::vector<std::pair<std::wstring, std::string>> files;
            for (int f = 0; f < 3; ++f) {
                const size_t size = (o + f) % 4 == 0 ? 700 * 1024 + o : 1000 + 37 * f + o;
                files.emplace_back(L"f" + std::to_wstring(f) + L".jpg", test::PatternBytes(size, o * 10 + f));
            }
            std::vector<UniqueStream> open;
            for (auto& [fname, bytes] : files) open.emplace_back(OpenStream(JoinPath(folder, fname), L"wb"));
            for (size_t k = 0; k < files.size(); ++k) {
                const std::string& bytes = files[k].second;
                for (size_t at = 0; at < bytes.size(); at += 64 * 1024) {
                    std::fwrite(bytes.data() + at, 1, std::min<size_t>(64 * 1024, bytes.size() - at), open[k].get());
                    std::fflush(open[k].get());
                }
                open[k].reset();
                std::this_thread::sleep_for(30ms);
            }
            if (viaTmp) { EXPECT_TRUE(RenamePath(folder, root + name)); }
            auto& exp = expected[root + name + kPathSep];
            for (auto& [fname, bytes] : files) exp[fname] = bytes;
            std::this_thread::sleep_for(50ms);
        }
    });
    editor.join();

    for (auto& [task, files] : expected) {
        ASSERT_TRUE(test::WaitUntil([&] { return test::TaskStateOf(audit.Registry(), task) == kTaskReady; }, 60s))
            << test::Narrow(task) << " state " << test::TaskStateOf(audit.Registry(), task);
        // Reassemble each file from its items (whole, or its chunks in order).
        std::map<std::wstring, std::string> got;
        bool sawList = false;
        for (auto& item : test::ItemsOf(audit.Registry(), task)) {
            const std::wstring fname = FileNamePart(item.value);
            if (fname.rfind(L"_content_", 0) == 0) {
                sawList = true;
                continue;
            }
            EXPECT_TRUE(item.state == kFileReady || item.state == kFileNew) << test::Narrow(fname);
            EXPECT_LE(item.size, limit);
            got[fname.substr(0, fname.find(L".jpg") + 4)] += test::ReadFile(item.value);
        }
        EXPECT_TRUE(sawList);
        EXPECT_EQ(got.size(), files.size());
        for (auto& [fname, bytes] : files) EXPECT_TRUE(got[fname] == bytes) << test::Narrow(task + fname);
    }
    EXPECT_EQ(audit.Registry().taskCount.load(), 12);
    EXPECT_EQ(audit.Registry().waitingTasks.load(), 0);
    splitter.Stop();
}
