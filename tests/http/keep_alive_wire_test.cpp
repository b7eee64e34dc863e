// Uploads to a server that keeps its connections alive and sends an answer's head and body
// separately: every request reaches it byte for byte, also the one on a reused connection, and
// each upload reads its own answer. Answers whose body lags their head move the uploads to fresh
// connections, and dropping the idle connections really makes the next upload open a new one.
#include <gtest/gtest.h>

#include <mutex>
#include <string>

#include "base/codepage.h"
#include "base/utf16.h"
#include "http/http_client.h"
#include "http/http_platform.h"
#include "refserver/http_server.h"
#include "support/test_util.h"

using namespace zk;

namespace {

std::string ReadAll(CHttpResponseT& r) {
    std::string all(64, '\0'), out;
    while (uint32_t n = r.ReadContent(all.data(), 64)) out.append(all.data(), n);
    return out;
}

// A server answering "OK <n>" to its n-th request, each answer's body `trickleMs` per byte late.
class NumberedServer {
    std::mutex mutex;
    int answered = 0;  // guarded by mutex

public:
    explicit NumberedServer(refsrv::ServerStyle style, int trickleMs = 0) {
        server.SetStyle(style);
        started = server.Start([this, trickleMs](const refsrv::HttpRequest&, bool headOnly) {
            refsrv::HttpResponse r;
            r.headers = {{"Content-Type", "text/plain"}};
            r.trickleMs = trickleMs;
            if (!headOnly) {
                std::lock_guard lock(mutex);
                r.body = "OK " + std::to_string(++answered);
            }
            return r;
        });
    }
    [[nodiscard]] std::wstring Url() const { return L"http://127.0.0.1:" + std::to_wstring(server.Port()) + L"/up"; }

    bool started = false;
    refsrv::HttpServer server;  // last: stopped before the handler's state goes
};

// One upload of the file at `path`; its answer's body.
std::string Upload(CHttpClientT& client, const std::wstring& url, const std::wstring& path) {
    client.ClearParam();
    client.AddParam(L"IMAGE", path.c_str(), kParamFile);
    client.StartUpload(url.c_str(), kHttpSessionFlags);
    std::unique_ptr<CHttpResponseT> r;
    for (int step = 0; step < 1000 && !r; ++step) r = client.ContinuePost();
    if (!r) return "no answer";
    if (r->GetStatus() != 200) return "status " + std::to_string(r->GetStatus());
    return ReadAll(*r);
}

}  // namespace

TEST(KeepAliveWire, TwoUploadsOverOneKeptAliveConnectionArriveIntact) {
    NumberedServer numbered(refsrv::ServerStyle::Plain);
    ASSERT_TRUE(numbered.started);
    test::TempDir dir(L"keep");
    const std::string first = test::PatternBytes(3000, 11), second = test::PatternBytes(70000, 12);
    test::WriteFile(dir / L"a.bin", first);
    test::WriteFile(dir / L"b.bin", second);
    CHttpClientT client;
    client.SetAnsiCodePage(1251);
    const std::string b = ToUtf8(client.Boundary());
    std::vector<std::string> expected;
    int round = 0;
    for (const auto& [name, bytes] : {std::pair{L"a.bin", first}, std::pair{L"b.bin", second}}) {
        const std::wstring path = dir / name;
        EXPECT_EQ(Upload(client, numbered.Url(), path), "OK " + std::to_string(++round)) << "each upload reads its own answer";
        std::string narrow;
        ASSERT_TRUE(WideToCodePage(1251, path, narrow));
        expected.push_back("--" + b + "\r\nContent-Disposition: form-data; name=\"IMAGE\"; filename=\"" + narrow +
                           "\"\r\nContent-Type: application/octet-stream\r\n\r\n" + bytes + "\r\n--" + b + "--\r\n");
    }
    const auto reqs = numbered.server.Requests();
    ASSERT_EQ(reqs.size(), 2u);
    for (size_t i = 0; i < 2; ++i) {
        EXPECT_TRUE(reqs[i].complete);
        EXPECT_TRUE(reqs[i].body == expected[i]) << "upload " << i << ": " << reqs[i].body.size() << " bytes, " << expected[i].size() << " sent";
    }
#ifdef _WIN32
    EXPECT_EQ(numbered.server.AcceptedConnections(), 1) << "WinINet keeps the connection for the next upload";
#else
    EXPECT_EQ(numbered.server.AcceptedConnections(), 2) << "the socket twin opens a connection per request";
#endif
}

TEST(KeepAliveWire, DroppedIdleConnectionsMakeTheNextUploadOpenANewOne) {
    NumberedServer numbered(refsrv::ServerStyle::Plain);
    ASSERT_TRUE(numbered.started);
    test::TempDir dir(L"drop");
    test::WriteFile(dir / L"a.bin", test::PatternBytes(2000, 13));
    CHttpClientT client;
    // The second upload's choice came from the first answer alone, and one stall changes nothing:
    // it took the kept-alive connection where the platform keeps one.
    EXPECT_EQ(Upload(client, numbered.Url(), dir / L"a.bin"), "OK 1");
    EXPECT_EQ(Upload(client, numbered.Url(), dir / L"a.bin"), "OK 2");
    const int before = numbered.server.AcceptedConnections();
    net::DropIdleConnections();
    EXPECT_EQ(Upload(client, numbered.Url(), dir / L"a.bin"), "OK 3");
    EXPECT_EQ(numbered.server.AcceptedConnections(), before + 1) << "the upload after the drop came on a connection of its own";
#ifdef _WIN32
    EXPECT_EQ(before, 1) << "before the drop, WinINet had kept the first connection";
#endif
    EXPECT_EQ(numbered.server.Requests().size(), 3u);
}

TEST(KeepAliveWire, AnswersWhoseBodyLagsTheHeadMoveUploadsToFreshConnections) {
    // 200 ms per byte of the answer: far beyond any scheduling hiccup, and beyond the stall bound.
    NumberedServer numbered(refsrv::ServerStyle::Reference, 200);
    ASSERT_TRUE(numbered.started);
    test::TempDir dir(L"lag");
    test::WriteFile(dir / L"a.bin", test::PatternBytes(1000, 14));
    CHttpClientT client;
    EXPECT_EQ(Upload(client, numbered.Url(), dir / L"a.bin"), "OK 1");
    EXPECT_FALSE(client.FreshConnections()) << "one lagging answer is no pattern";
    EXPECT_EQ(Upload(client, numbered.Url(), dir / L"a.bin"), "OK 2");
    EXPECT_TRUE(client.FreshConnections()) << "two in a row are";
    EXPECT_EQ(Upload(client, numbered.Url(), dir / L"a.bin"), "OK 3") << "an upload on a fresh connection";
    const auto reqs = numbered.server.Requests();
    ASSERT_EQ(reqs.size(), 3u);
    EXPECT_TRUE(reqs[2].body == reqs[0].body) << "the same bytes on a fresh connection";
}
