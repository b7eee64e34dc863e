// How the body goes to the platform: a write that takes nothing fails instead of spinning, and on
// a slow line the writes shrink to what the measured rate moves in a short time, so that a stop
// between steps is never far off. The bytes on the wire stay those of any other write size.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "http/http_client.h"
#include "http/http_errors.h"
#include "refserver/http_server.h"
#include "support/test_util.h"

using namespace zk;

TEST(WriteWhole, AWriteThatTakesNothingFailsTheRequest) {
    int calls = 0;
    const std::string bytes(100, 'b');
    try {
        CHttpToolW::WriteWhole([&](const void*, uint32_t, uint32_t& written) { written = 0, ++calls; return true; }, bytes.data(),
                               static_cast<uint32_t>(bytes.size()));
        FAIL() << "a write that takes nothing must raise";
    } catch (const httpclientexceptionW& e) {
        EXPECT_EQ(e.ErrorCode(), static_cast<uint32_t>(kHttpErrWriteFile));
    }
    EXPECT_EQ(calls, 1);
}

TEST(WriteWhole, PartialWritesGoOnUntilEveryByteIsTaken) {
    std::string out;
    const std::string bytes = test::PatternBytes(1000, 3);
    CHttpToolW::WriteWhole(
        [&](const void* p, uint32_t n, uint32_t& written) {
            written = std::min<uint32_t>(n, 7);
            out.append(static_cast<const char*>(p), written);
            return true;
        },
        bytes.data(), static_cast<uint32_t>(bytes.size()));
    EXPECT_TRUE(out == bytes);
    EXPECT_THROW(CHttpToolW::WriteWhole([](const void*, uint32_t n, uint32_t& written) { written = n + 1; return true; }, bytes.data(), 10),
                 httpclientexceptionW)
        << "a count beyond the buffer is a failure, not a step back";
}

TEST(WritePacing, OnASlowLineWritesShrinkToTheRate) {
    constexpr long kRate = 400 * 1024;  // bytes a second the server reads
    refsrv::HttpServer server;
    ASSERT_TRUE(server.Start([](const refsrv::HttpRequest&, bool headOnly) {
        refsrv::HttpResponse r;
        if (headOnly) r.throttleBytesPerSecond = kRate;
        r.body = "OK";
        return r;
    }));
    test::TempDir dir(L"pace");
    const std::wstring file = dir / L"slow.bin";
    test::WriteFile(file, test::PatternBytes(8 << 20, 5));
    CHttpClientT client;
    client.AddParam(L"IMAGE", file.c_str(), kParamFile);
    client.StartUpload((L"http://127.0.0.1:" + std::to_wstring(server.Port()) + L"/up").c_str(), kHttpSessionFlags);
    EXPECT_EQ(client.WriteSize(), kWriteBufferSize) << "a fresh client starts with the largest write";
    // What the rate moves in the target time, with room for the measurement's spread: on a loaded
    // machine the server's reads come in bursts, and a write once measured 41,040 bytes beside a
    // bound of twice the rate's 20,480. Four times is still under a third of the largest write.
    const uint32_t allowed = static_cast<uint32_t>(kRate * kWriteTarget.count() / 1000);
    const uint32_t bound = std::max(4 * allowed, kSmallestWrite);
    static_assert(kWriteBufferSize > 3 * 4 * (kRate * kWriteTarget.count() / 1000));
    // Until the socket buffers are full the writes take no time; the first write that waits for
    // the server teaches the client the rate.
    bool shrunk = false;
    for (int step = 0; step < 8 << 10 && !shrunk; ++step) {
        ASSERT_FALSE(client.ContinuePost()) << "the body ended before the line was measured";
        shrunk = client.WriteSize() <= bound;
    }
    ASSERT_TRUE(shrunk) << "writes stayed at " << client.WriteSize();
    // From then on no write holds a step back longer than the rate allows.
    uint32_t largest = 0;
    for (int step = 0; step < 200; ++step) {
        ASSERT_FALSE(client.ContinuePost());
        largest = std::max(largest, client.WriteSize());
    }
    EXPECT_LE(largest, bound);
    // A stop between steps: the upload ends here and the server saw an incomplete body.
    EXPECT_TRUE(client.CancelPost());
    server.Stop();
    ASSERT_EQ(server.Requests().size(), 1u);
    EXPECT_FALSE(server.Requests()[0].complete);
}
