// Uploads one file through CHttpClientT (the session's settings and 1,024-byte steps) and prints
// the transfer rate:  upload_bench <url> <file>  ->  "client <bytes> <seconds> <MB/s>"
#include <chrono>
#include <cstdio>
#include <string>

#include "base/utf16.h"
#include "http/http_client.h"
#include "http/http_errors.h"

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: upload_bench <url> <file>\n");
        return 2;
    }
    const std::wstring url = zk::FromUtf8(argv[1]);
    const std::wstring file = zk::FromUtf8(argv[2]);
    zk::CHttpClientT client;
    client.SetInternetSettings(L"ZKUploader 2.0", 0, nullptr, nullptr, 0);
    client.SetAnsiCodePage(1251);
    client.AddParam(L"IMAGE", file.c_str(), zk::kParamFile);
    try {
        const auto t0 = std::chrono::steady_clock::now();
        client.StartUpload(url.c_str(), zk::kHttpSessionFlags);
        zk::CHttpPostStatT stat;
        client.QueryPostStat(stat);
        const double total = stat.ActualTotalByte();
        std::unique_ptr<zk::CHttpResponseT> r;
        while (!(r = client.ContinuePost())) {
        }
        const unsigned status = r->GetStatus();
        const double s = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
        std::printf("client %.0f %.3f %.1f status %u\n", total, s, total / s / 1e6, status);
    } catch (const zk::httpclientexceptionW& e) {
        std::fprintf(stderr, "upload failed: %s (%u)\n", zk::ToUtf8(e.Message()).c_str(), e.ErrorCode());
        return 1;
    }
    return 0;
}
