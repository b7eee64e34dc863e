// The reference service against hand-made requests: malformed ones are refused with a reason
// and never end the service.
#include <gtest/gtest.h>

#include <string>

#include "base/net_socket.h"
#include "refserver/ref_service.h"

using namespace zk;

namespace {

class StrictService : public ::testing::Test {
protected:
    void SetUp() override {
        sock::Startup();
        ASSERT_TRUE(service.Start());
    }

    // Sends one raw request and gives the whole answer (the service closes after it).
    std::string Exchange(const std::string& request) {
        sock::UniqueSocket s(sock::Connect("127.0.0.1", service.Port()));
        EXPECT_TRUE(s);
        if (!s) return {};
        sock::SetTimeouts(s.get(), 10000, 10000);
        EXPECT_TRUE(sock::SendAll(s.get(), request.data(), request.size()));
        std::string answer;
        char buf[4096];
        long n;
        while ((n = sock::Recv(s.get(), buf, sizeof buf)) > 0) answer.append(buf, static_cast<size_t>(n));
        return answer;
    }

    std::string Upload(const std::string& target, const std::string& descriptor, const std::string& fileName, const std::string& data) {
        const std::string b = "----TEBRO-0123456789abcdef0123456789abcdef-";
        std::string body = "--" + b + "\r\nContent-Disposition: form-data; name=\"DESCRIPTOR\"; filename=\"d.tmp\"\r\nContent-Type: text/xml\r\n\r\n" +
                           descriptor + "\r\n--" + b + "\r\nContent-Disposition: form-data; name=\"IMAGE\"; filename=\"" + fileName +
                           "\"\r\nContent-Type: application/octet-stream\r\n\r\n" + data + "\r\n--" + b + "--\r\n";
        const std::string auth = "Basic " + refsrv::RefService::Base64("uploader:s3cret");
        return Exchange("POST " + target + " HTTP/1.1\r\nHost: 127.0.0.1\r\nAuthorization: " + auth +
                        "\r\nContent-Type: multipart/form-data; boundary=" + b + "\r\nContent-Length: " + std::to_string(body.size()) +
                        "\r\n\r\n" + body);
    }

    static std::string Descriptor(const std::string& client, const std::string& name, size_t size) {
        return "\xEF\xBB\xBF<?xml version=\"1.0\" encoding=\"utf-8\"?>\r\n<DESCRIPTOR for=\"\">\r\n   <CLIENT " + client +
               "/>\r\n   <ALBUM id=\"42\"/>\r\n      <FILE name=\"" + name + "\" size=\"" + std::to_string(size) +
               "\" checksum=\"\">\r\n         <TITLE>\r\n         </TITLE>\r\n      </FILE>\r\n</DESCRIPTOR>\r\n";
    }

    static std::string Body(const std::string& answer) {
        const size_t at = answer.find("\r\n\r\n");
        return at == std::string::npos ? std::string() : answer.substr(at + 4);
    }

    refsrv::RefService service;
};

}  // namespace

TEST_F(StrictService, WellFormedUploadIsAccepted) {
    EXPECT_EQ(Body(Upload("/upload?&fn=a%2Ejpg", Descriptor("id=\"17\"", "a.jpg", 3), "a.jpg", "abc")), "OK");
    ASSERT_EQ(service.Received().size(), 1u);
    EXPECT_EQ(service.Received()[0].data, "abc");
}

TEST_F(StrictService, DescriptorWithoutIdIsRefusedAndTheServiceLivesOn) {
    EXPECT_EQ(Body(Upload("/upload?&fn=a%2Ejpg", Descriptor("", "a.jpg", 3), "a.jpg", "abc")),
              "ERROR: descriptor lacks the id of CLIENT or ALBUM");
    EXPECT_EQ(Body(Upload("/upload?&fn=a%2Ejpg", Descriptor("id=\"17\"", "a.jpg", 3), "a.jpg", "abc")), "OK")
        << "the service still answers";
}

TEST_F(StrictService, UploadQueryMustBeQuestionMarkAmpersandFn) {
    const std::string d = Descriptor("id=\"17\"", "a.jpg", 3);
    for (const std::string target : {"/upload?fn=a%2Ejpg", "/upload?&fn=a.jpg", "/upload?&fn=a%2Ejpg&x=1", "/upload?&fn=", "/upload?&fn=a%2"}) {
        EXPECT_EQ(Body(Upload(target, d, "a.jpg", "abc")).rfind("ERROR: ", 0), 0u) << target;
    }
    EXPECT_EQ(Upload("/upload&fn=a%2Ejpg", d, "a.jpg", "abc").rfind("HTTP/1.1 404", 0), 0u) << "no \"?\": another path";
    EXPECT_TRUE(service.Received().empty());
}

TEST_F(StrictService, GarbageRequestsAndControlValuesDoNotEndTheService) {
    EXPECT_EQ(Exchange("NONSENSE\r\n\r\n").rfind("HTTP/1.1 400", 0), 0u);
    EXPECT_EQ(Body(Exchange("GET /_control/fault?target=upload&kind=status&status=abc&count=x HTTP/1.1\r\nHost: h\r\n\r\n")), "OK");
    service.ClearFaults();
    EXPECT_EQ(Body(Upload("/upload?&fn=b%2Ejpg", Descriptor("id=\"17\"", "b.jpg", 1), "b.jpg", "b")), "OK");
}
