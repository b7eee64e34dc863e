// Stand-alone reference service: refserver [--port N] [--store DIR] [--lean] [--plain] [--serial] [--user U]
//                                          [--password P] [--param NAME=VALUE]...
// --store keeps every accepted file under DIR/<UID>/<AID>/<n>_<name> and lists it in
// DIR/received.tsv; --lean keeps no request or file bytes in memory (long runs, benchmarks);
// --plain behaves as a plain HTTP/1.1 server: keep-alive, an answer's head and body in separate
// sends, no TCP_NODELAY, default socket buffers (with --lean: bodies parsed as they arrive);
// --serial serves one connection at a time, as small servers do.
// Faults are switched at run time with GET /_control/fault?target=..&kind=..
// Prints "listening <port>" and serves until SIGTERM or SIGINT.
#include <csignal>
#include <cstdio>
#include <cstring>
#include <string>
#include <thread>

#include "base/utf16.h"
#include "refserver/ref_service.h"

namespace {
volatile std::sig_atomic_t g_stop = 0;
void OnSignal(int) { g_stop = 1; }
}  // namespace

int main(int argc, char** argv) {
    refsrv::ServiceConfig cfg;
    uint16_t port = 0;
    std::vector<std::pair<std::wstring, std::wstring>> params;
    bool serial = false;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        const std::string v = i + 1 < argc ? argv[i + 1] : "";
        if (a == "--port") port = static_cast<uint16_t>(std::stoi(v)), ++i;
        else if (a == "--store") cfg.storageRoot = zk::FromUtf8(v), ++i;
        else if (a == "--lean") cfg.keepData = false;
        else if (a == "--plain") cfg.plain = true;
        else if (a == "--serial") serial = true;
        else if (a == "--user") cfg.user = zk::FromUtf8(v), ++i;
        else if (a == "--password") cfg.password = zk::FromUtf8(v), ++i;
        else if (a == "--param") {
            const size_t eq = v.find('=');
            params.emplace_back(zk::FromUtf8(v.substr(0, eq)), zk::FromUtf8(eq == std::string::npos ? "" : v.substr(eq + 1)));
            ++i;
        } else {
            std::fprintf(stderr, "usage: refserver [--port N] [--store DIR] [--lean] [--plain] [--serial] [--user U] [--password P] [--param NAME=VALUE]\n");
            return 2;
        }
    }
    refsrv::RefService service(cfg);
    service.Server().SetSerial(serial);
    service.SetParams(params);
    if (!service.Start(port)) {
        std::fprintf(stderr, "refserver: cannot listen on 127.0.0.1:%u\n", port);
        return 1;
    }
    std::printf("listening %u\n", service.Port());
    std::fflush(stdout);
    std::signal(SIGTERM, OnSignal);
    std::signal(SIGINT, OnSignal);
    while (!g_stop) std::this_thread::sleep_for(std::chrono::milliseconds(100));
    service.Stop();
    return 0;
}
