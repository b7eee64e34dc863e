// Intake figures:  intake_bench audit <folder> <files>   time for the audit to list one order
//                  intake_bench split <file> <chunkMiB>  time for the splitter to cut one file
#include <chrono>
#include <cstdio>
#include <string>
#include <thread>

#include "base/fsys.h"
#include "base/path.h"
#include "base/utf16.h"
#include "intake/big_file.h"
#include "intake/folder_audit.h"

using namespace zk;

namespace {
double Seconds(std::chrono::steady_clock::time_point t0) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}
}  // namespace

int main(int argc, char** argv) {
    if (argc != 4) {
        std::fprintf(stderr, "usage: intake_bench audit <folder> <files> | split <file> <chunkMiB>\n");
        return 2;
    }
    const std::string mode = argv[1];
    const std::wstring path = FromUtf8(argv[2]);
    const long n = std::stol(argv[3]);
    if (mode == "audit") {
        const std::wstring order = JoinPath(path, L"order");
        (void)CreateFolder(path);
        (void)CreateFolder(order);
        for (long i = 0; i < n; ++i) {
            UniqueStream f(OpenStream(JoinPath(order, L"img" + std::to_wstring(i) + L".jpg"), L"wb"));
            std::fputs("small file", f.get());
        }
        CVelmoFolderAudit audit;
        audit.contentListFlag = true;
        const auto t0 = std::chrono::steady_clock::now();
        audit.Start(path);
        const std::wstring task = WithTrailingSeparator(order);
        for (;;) {
            {
                std::lock_guard lock(audit.Registry().Mutex());
                CZKRBTreeNode* t = audit.Registry().Find(task);
                if (t && t->state == kTaskReady) break;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        std::printf("audit %ld files %.3f s %.0f files/s\n", n, Seconds(t0), n / Seconds(t0));
        return 0;
    }
    if (mode == "split") {
        CVelmoBigFile splitter;
        CZKLockedList scratch;
        const auto t0 = std::chrono::steady_clock::now();
        if (!splitter.SplitFile(path, path, FolderPart(path), static_cast<uint64_t>(n) << 20, &scratch)) {
            std::fprintf(stderr, "split failed: %d\n", splitter.StatusCode());
            return 1;
        }
        const double s = Seconds(t0);
        const double bytes = static_cast<double>(FileSizeOf(path));
        std::printf("split %d chunks %.3f s %.1f MB/s\n", scratch.Count(), s, bytes / s / 1e6);
        for (auto* e = scratch.First(); e; e = e->next) (void)DeleteFileAt(e->value);
        return 0;
    }
    return 2;
}
