// Deleting an accepted file only while it is the version that was sent, through one handle.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <memory>
#include <string>

#include "base/file_identity.h"
#include "base/fsys.h"
#include "support/test_util.h"

using namespace zk;

TEST(DeleteIfSame, DeletesOnlyTheVersionItWasToldOf) {
    test::TempDir dir(L"delete");
    const std::wstring path = dir / L"photo.jpg", other = dir / L"other.jpg";
    std::unique_ptr<test::FileUndeletable> held;
    const struct {
        const char* what;
        std::function<void()> meanwhile;  // between the upload and the deletion
        bool expected;                    // the version sent is known
        DeleteOutcome outcome;
    } cases[] = {
        {"unchanged", [] {}, true, DeleteOutcome::Deleted},
        {"unknown version: whatever is there", [] {}, false, DeleteOutcome::Deleted},
        {"rewritten", [&] { test::WriteFile(path, "a longer new version"); }, true, DeleteOutcome::Changed},
        {"replaced by a file of the same size and time",
         [&] {
             test::WriteFile(other, "version 1");
             std::filesystem::last_write_time(FsPath(other), std::filesystem::last_write_time(FsPath(path)));
             ASSERT_TRUE(DeleteFileAt(path));
             ASSERT_TRUE(RenamePath(other, path));
         },
         true, DeleteOutcome::Changed},
        {"gone", [&] { ASSERT_TRUE(DeleteFileAt(path)); }, true, DeleteOutcome::Changed},
        {"read-only", [&] { std::filesystem::permissions(FsPath(path), std::filesystem::perms::owner_read); }, true, DeleteOutcome::Deleted},
        {"held by another program", [&] { held = std::make_unique<test::FileUndeletable>(path); }, true, DeleteOutcome::Refused},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        test::WriteFile(path, "version 1");
        FileIdentity sent;
        ASSERT_TRUE(IdentityOf(path, sent));
        c.meanwhile();
        if (held && !held->Active()) GTEST_SKIP() << "this file system cannot refuse a deletion";
        FileIdentity found;
        EXPECT_EQ(DeleteIfSame(path, c.expected ? &sent : nullptr, &found), c.outcome);
        const bool gone = c.outcome == DeleteOutcome::Deleted || std::string(c.what) == "gone";
        EXPECT_EQ(PathExists(path), !gone);
        if (c.outcome == DeleteOutcome::Deleted) {
            EXPECT_TRUE(found == sent) << "the identity read through the deleting handle";
        }
        held.reset();
        if (PathExists(path)) {
            std::filesystem::permissions(FsPath(path), std::filesystem::perms::owner_all);
            ASSERT_TRUE(DeleteFileAt(path));
        }
    }
}
