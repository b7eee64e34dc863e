// Upload answers of real-world servers: a redirect, an answer that trickles, an "OK" with a long
// tail; and the identity of the file that was sent.
#include <gtest/gtest.h>

#include <string>

#include "base/file_identity.h"
#include "base/fsys.h"
#include "http/http_errors.h"
#include "session_helpers.h"

using namespace zk;
using refsrv::FaultKind;
using refsrv::FaultRule;
using refsrv::FaultTarget;

namespace {

class UploadAnswers : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(service.Start());
        test::Configure(session, service);
        ASSERT_TRUE(session.Authenticate()) << test::Narrow(session.LastErrorText());
        file = dir / L"order.jpg";
        test::WriteFile(file, bytes);
        service.Server().ClearRequests();
    }
    FaultRule Once(FaultKind kind) {
        FaultRule r;
        r.target = FaultTarget::Upload;
        r.kind = kind;
        r.remaining = 1;
        return r;
    }

    refsrv::RefService service;
    CVelmoConnect session;
    test::TempDir dir{L"answers"};
    std::wstring file;
    const std::string bytes = test::PatternBytes(20000, 6);
};

}  // namespace

TEST_F(UploadAnswers, ARedirectIsARefusalAndIsNotFollowed) {
    service.AddFault(Once(FaultKind::Redirect));
    EXPECT_FALSE(session.UploadFile(file));
    EXPECT_EQ(session.LastErrorCode(), 302);
    EXPECT_TRUE(service.Received().empty());
    EXPECT_TRUE(PathExists(file));
    const auto reqs = service.Server().Requests();
    ASSERT_EQ(reqs.size(), 1u) << "only the upload itself went to the server";
    EXPECT_EQ(reqs[0].method, "POST");
    for (const auto& r : reqs) EXPECT_NE(r.Path(), refsrv::kMovedPath);
    ASSERT_TRUE(session.UploadFile(file)) << "the next attempt goes through";
    EXPECT_EQ(service.Received().size(), 1u);
}

TEST_F(UploadAnswers, AnAnswerThatTricklesFailsAtTheDeadline) {
    session.SetAnswerDeadline(1500);
    FaultRule slow = Once(FaultKind::Trickle);
    slow.text = "OK" + std::string(18, '.');  // an acceptance, had it arrived: 8 s at this pace
    slow.delayMs = 400;
    service.AddFault(slow);
    EXPECT_FALSE(session.UploadFile(file));
    const int32_t code = session.LastErrorCode();
    EXPECT_TRUE(code == static_cast<int32_t>(kHttpErrReadFile) || code == static_cast<int32_t>(kHttpErrEndRequest)) << code;
    EXPECT_EQ(session.LastErrorText(), L"Сервер не ответил вовремя (ошибка 12002, The server's answer did not arrive complete in time.)");
    EXPECT_TRUE(service.Received().empty());
    EXPECT_TRUE(PathExists(file));
    ASSERT_TRUE(session.UploadFile(file)) << "the deadline of one request does not hold back the next";
    EXPECT_EQ(service.Received().size(), 1u);
}

TEST_F(UploadAnswers, AnOkWithALongTailIsAnAcceptanceReadOnlyAsFarAsNeeded) {
    FaultRule tail = Once(FaultKind::LongTail);
    tail.tailBytes = 2 << 20;
    service.AddFault(tail);
    ASSERT_TRUE(session.UploadFile(file)) << test::Narrow(session.LastErrorText());
    EXPECT_EQ(service.UploadAttempts(), 1);
    ASSERT_EQ(service.Received().size(), 1u);
    EXPECT_TRUE(service.Received()[0].data == bytes);
    EXPECT_EQ(session.Snapshot().serverAnswer, L"OK" + std::wstring(kUploadAnswerPrefix - 2, L'x'));
}

TEST_F(UploadAnswers, TheIdentityOfTheSentFileIsThatOfTheFileAtItsPath) {
    FileIdentity sent, now;
    ASSERT_TRUE(session.UploadFile(file, &sent));
    ASSERT_TRUE(IdentityOf(file, now));
    EXPECT_EQ(sent, now);
    EXPECT_EQ(sent.size, bytes.size());
    EXPECT_NE(sent.fileId, 0u);
    // Another file of the same size moved into its place is not the one that was sent.
    const std::wstring other = dir / L"other.jpg";
    test::WriteFile(other, test::PatternBytes(bytes.size(), 7));
    ASSERT_TRUE(DeleteFileAt(file));
    ASSERT_TRUE(RenamePath(other, file));
    ASSERT_TRUE(IdentityOf(file, now));
    EXPECT_NE(now, sent);
    EXPECT_EQ(now.size, sent.size);
    // A file that is not there has no identity, and a failed upload leaves none.
    EXPECT_FALSE(IdentityOf(dir / L"gone.jpg", now));
    EXPECT_FALSE(session.UploadFile(dir / L"gone.jpg", &sent));
    EXPECT_EQ(sent, FileIdentity{});
}
