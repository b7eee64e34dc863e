// The streaming multipart parser of the lean plain mode gives what the whole-body parser gives,
// whatever the pieces the body arrives in, and refuses what it refuses.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "refserver/multipart.h"
#include "refserver/multipart_stream.h"

using namespace refsrv;

namespace {

const std::string kB = "----TEBRO-0123456789abcdef0123456789abcdef-";

std::string Part(const std::string& name, const std::string& file, const std::string& data) {
    return "--" + kB + "\r\nContent-Disposition: form-data; name=\"" + name + "\"; filename=\"" + file +
           "\"\r\nContent-Type: application/octet-stream\r\n\r\n" + data + "\r\n";
}

// Parses `body` fed in pieces of `piece` bytes; the parts, or the error as the only name.
std::vector<MultipartPart> Stream(const std::string& body, size_t piece, std::string& error) {
    MultipartStream s(kB, true);
    for (size_t i = 0; i < body.size(); i += piece) s.Take(body.data() + i, std::min(piece, body.size() - i));
    error.clear();
    if (!s.Finish(error)) return {};
    return s.Parts();
}

}  // namespace

TEST(MultipartStream, AgreesWithTheWholeBodyParserInAnyPieces) {
    // Data that holds the boundary's start, CR LF and dashes, but never the whole delimiter.
    const std::string tricky = "\r\n--" + kB.substr(0, 20) + "\r\n-\r\n--" + kB.substr(0, kB.size() - 1) + "x" + std::string(3000, 'z') + "\r";
    const std::vector<std::string> bodies = {
        Part("DESCRIPTOR", "d.tmp", "<x/>") + Part("IMAGE", "a.jpg", tricky) + "--" + kB + "--\r\n",
        Part("IMAGE", "e.jpg", "") + "--" + kB + "--\r\n",
        "\r\n--" + kB + "--\r\n",
        Part("IMAGE", "a.jpg", "abc") + "--" + kB + "--\r\nextra",
        Part("IMAGE", "a.jpg", "abc") + "--" + kB + "-x\r\n",
        "junk" + Part("IMAGE", "a.jpg", "abc") + "--" + kB + "--\r\n",
        Part("IMAGE", "a.jpg", "abc"),
        "--" + kB + "\r\nContent-Disposition: form-data; name=\"IMAGE\"; filename=\"a\"\r\n\r\nabc\r\n--" + kB + "--\r\n",
    };
    for (size_t k = 0; k < bodies.size(); ++k) {
        std::vector<MultipartPart> whole;
        std::string wholeError;
        const bool ok = ParseMultipart(bodies[k], kB, whole, wholeError);
        for (size_t piece : {size_t{1}, size_t{7}, size_t{64}, bodies[k].size() + 1}) {
            std::string error;
            const auto parts = Stream(bodies[k], piece, error);
            ASSERT_EQ(error.empty(), ok) << "body " << k << " in pieces of " << piece << ": " << error << " / " << wholeError;
            if (!ok) {
                EXPECT_EQ(error, wholeError) << "body " << k << " in pieces of " << piece;
                continue;
            }
            ASSERT_EQ(parts.size(), whole.size()) << "body " << k;
            for (size_t i = 0; i < parts.size(); ++i) {
                EXPECT_EQ(parts[i].name, whole[i].name);
                EXPECT_EQ(parts[i].filename, whole[i].filename);
                EXPECT_EQ(parts[i].contentType, whole[i].contentType);
                EXPECT_TRUE(parts[i].data == whole[i].data) << "body " << k << " part " << i << " in pieces of " << piece;
                EXPECT_EQ(parts[i].size, whole[i].data.size());
            }
        }
    }
}

TEST(MultipartStream, TheImageIsCountedNotKeptUnlessAsked) {
    const std::string image(200000, 'q');
    const std::string body = Part("DESCRIPTOR", "d.tmp", "<x/>") + Part("IMAGE", "a.jpg", image) + "--" + kB + "--\r\n";
    MultipartStream s(kB, false);
    for (size_t i = 0; i < body.size(); i += 4096) s.Take(body.data() + i, std::min<size_t>(4096, body.size() - i));
    std::string error;
    ASSERT_TRUE(s.Finish(error)) << error;
    ASSERT_EQ(s.Parts().size(), 2u);
    EXPECT_EQ(s.Parts()[0].data, "<x/>");
    EXPECT_EQ(s.Parts()[1].size, image.size());
    EXPECT_TRUE(s.Parts()[1].data.empty());
}
