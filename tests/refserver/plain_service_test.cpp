// The service as a plain HTTP/1.1 server: connections stay open for more requests (also ones a
// client sends before the previous answer), each answer goes head first and body after, and a
// lean service checks uploads parsed as they arrive as strictly as whole ones. The style and the
// port named for uploads can also be switched by control requests.
#include <gtest/gtest.h>

#include <string>

#include "base/net_socket.h"
#include "refserver/ref_service.h"

using namespace zk;

namespace {

const std::string kB = "----TEBRO-0123456789abcdef0123456789abcdef-";

std::string UploadRequest(const std::string& name, const std::string& data, bool close) {
    const std::string descriptor = "\xEF\xBB\xBF<?xml version=\"1.0\" encoding=\"utf-8\"?>\r\n<DESCRIPTOR for=\"\">\r\n   <CLIENT id=\"17\"/>\r\n"
                                   "   <ALBUM id=\"42\"/>\r\n      <FILE name=\"" + name + "\" size=\"" + std::to_string(data.size()) +
                                   "\" checksum=\"\">\r\n      </FILE>\r\n</DESCRIPTOR>\r\n";
    const std::string body = "--" + kB + "\r\nContent-Disposition: form-data; name=\"DESCRIPTOR\"; filename=\"d.tmp\"\r\nContent-Type: text/xml\r\n\r\n" +
                             descriptor + "\r\n--" + kB + "\r\nContent-Disposition: form-data; name=\"IMAGE\"; filename=\"" + name +
                             "\"\r\nContent-Type: application/octet-stream\r\n\r\n" + data + "\r\n--" + kB + "--\r\n";
    return "POST /upload?&fn=" + name.substr(0, name.find('.')) + "%2Ejpg HTTP/1.1\r\nHost: 127.0.0.1\r\nAuthorization: Basic " +
           refsrv::RefService::Base64("uploader:s3cret") + "\r\nContent-Type: multipart/form-data; boundary=" + kB +
           "\r\nContent-Length: " + std::to_string(body.size()) + (close ? "\r\nConnection: close" : "") + "\r\n\r\n" + body;
}

std::string Get(const std::string& target, bool close) {
    return "GET " + target + " HTTP/1.1\r\nHost: 127.0.0.1" + (close ? "\r\nConnection: close" : "") + "\r\n\r\n";
}

refsrv::ServiceConfig PlainLean() {
    refsrv::ServiceConfig cfg;
    cfg.plain = true;
    cfg.keepData = false;
    return cfg;
}

// A service and one client connection to it.
class PlainService : public ::testing::Test {
protected:
    explicit PlainService(refsrv::ServiceConfig cfg = PlainLean()) : service(std::move(cfg)) {}

    void SetUp() override {
        sock::Startup();
        ASSERT_TRUE(service.Start());
        connection.reset(sock::Connect("127.0.0.1", service.Port()));
        ASSERT_TRUE(connection);
        sock::SetTimeouts(connection.get(), 20000, 20000);
    }

    void Send(const std::string& bytes) { ASSERT_TRUE(sock::SendAll(connection.get(), bytes.data(), bytes.size())); }

    // Everything the server sends until it closes.
    std::string ReadToClose() {
        std::string all;
        char buf[4096];
        long n;
        while ((n = sock::Recv(connection.get(), buf, sizeof buf)) > 0) all.append(buf, static_cast<size_t>(n));
        return all;
    }

    // One whole answer whose body is `Content-Length` long, the connection left open.
    std::string ReadAnswer() {
        std::string all;
        char c;
        while (all.find("\r\n\r\n") == std::string::npos && sock::Recv(connection.get(), &c, 1) == 1) all += c;
        const size_t at = all.find("Content-Length: ");
        if (at == std::string::npos) return all;
        size_t rest = std::stoul(all.substr(at + 16));
        while (rest > 0 && sock::Recv(connection.get(), &c, 1) == 1) all += c, --rest;
        return all;
    }

    refsrv::RefService service;
    sock::UniqueSocket connection;
};

class OwnStyleService : public PlainService {
protected:
    OwnStyleService() : PlainService(refsrv::ServiceConfig{}) {}
};

}  // namespace

TEST_F(PlainService, PipelinedUploadsOnOneConnectionAreEachAcceptedAndAnswered) {
    const std::string big(300000, 'b');
    // Both requests in one send: the second's bytes arrive with the first's body.
    Send(UploadRequest("a.jpg", "abc", false) + UploadRequest("b.jpg", big, true));
    const std::string answers = ReadToClose();
    const std::string ok = "\r\nContent-Length: 2\r\n\r\nOK";
    const size_t first = answers.find(ok);
    ASSERT_NE(first, std::string::npos) << answers;
    EXPECT_EQ(answers.substr(0, first).find("Connection: close"), std::string::npos) << "the first answer keeps the connection";
    const size_t second = answers.find("Connection: close\r\n\r\nOK", first + ok.size());
    EXPECT_NE(second, std::string::npos) << "the second answer, to a request that asked to close: " << answers;
    const auto received = service.Received();
    ASSERT_EQ(received.size(), 2u);
    EXPECT_EQ(received[0].size, 3u);
    EXPECT_EQ(received[1].size, big.size());
    EXPECT_TRUE(received[1].data.empty()) << "a lean service keeps no file bytes";
    EXPECT_EQ(service.Server().AcceptedConnections(), 1);
}

TEST_F(PlainService, ABrokenBodyIsRefusedWithTheStrictReason) {
    std::string request = UploadRequest("a.jpg", "abc", true);
    request.replace(request.rfind("--\r\n"), 4, "xx\r\n");  // the closing line spoilt, same length
    Send(request);
    const std::string answer = ReadToClose();
    EXPECT_NE(answer.find("\r\n\r\nERROR: multipart: bad boundary line or bytes after the closing boundary"), std::string::npos) << answer;
    EXPECT_TRUE(service.Received().empty());
}

TEST_F(PlainService, AnHttp10RequestWithoutKeepAliveIsAnsweredAndClosed) {
    Send("GET /_control/faults HTTP/1.0\r\nHost: 127.0.0.1\r\n\r\n");
    const std::string answer = ReadToClose();
    EXPECT_EQ(answer.rfind("HTTP/1.1 200", 0), 0u) << answer;
    EXPECT_NE(answer.find("Connection: close\r\n"), std::string::npos) << answer;
}

TEST_F(OwnStyleService, ControlRequestsSwitchToThePlainStyleAndBack) {
    Send(Get("/_control/style?plain=1", false));
    EXPECT_NE(ReadToClose().find("Connection: close\r\n"), std::string::npos) << "the switch's own answer is still the service's own";
    EXPECT_EQ(service.Server().Style(), refsrv::ServerStyle::Plain);

    sock::UniqueSocket s(sock::Connect("127.0.0.1", service.Port()));
    ASSERT_TRUE(s);
    connection = std::move(s);
    sock::SetTimeouts(connection.get(), 20000, 20000);
    Send(Get("/_control/faults", false));
    const std::string kept = ReadAnswer();
    EXPECT_EQ(kept.find("Connection: close"), std::string::npos) << kept;
    Send(Get("/_control/style?plain=0", false));
    EXPECT_EQ(ReadAnswer().rfind("HTTP/1.1 200", 0), 0u) << "the same connection serves a second request";
    Send(Get("/_control/faults", false));
    EXPECT_NE(ReadToClose().find("Connection: close\r\n"), std::string::npos) << "back to one request per connection";
    EXPECT_EQ(service.Server().Style(), refsrv::ServerStyle::Reference);
    EXPECT_EQ(service.Server().AcceptedConnections(), 2);
}

TEST_F(OwnStyleService, TheAuthenticationAnswerNamesTheEndpointPortWhenOneIsSet) {
    const std::string auth = "/ru/99?QHU=loader&QHP=malvoro&QHV=1";
    Send(Get("/_control/endpoint?port=6543", true));
    ReadToClose();
    connection.reset(sock::Connect("127.0.0.1", service.Port()));
    ASSERT_TRUE(connection);
    Send(Get(auth, true));
    const std::string proxied = ReadToClose();
    EXPECT_NE(proxied.find("<HTTP host=\"127.0.0.1\" port=\"6543\""), std::string::npos) << proxied;

    connection.reset(sock::Connect("127.0.0.1", service.Port()));
    ASSERT_TRUE(connection);
    Send(Get("/_control/endpoint?port=0", true));
    ReadToClose();
    connection.reset(sock::Connect("127.0.0.1", service.Port()));
    ASSERT_TRUE(connection);
    Send(Get(auth, true));
    const std::string own = ReadToClose();
    EXPECT_NE(own.find("<HTTP host=\"127.0.0.1\" port=\"" + std::to_string(service.Port()) + "\""), std::string::npos) << own;
}
