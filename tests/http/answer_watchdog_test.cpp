// The answer watchdog: one thread bounds the requests of a client one after another; a watch
// that ends in time is never marked, one left past its due time is, whatever watches came
// before or after it. The abort of a real request is the session's answer tests' (a trickle).
#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <thread>

#include "http/answer_watch.h"
#include "http/http_errors.h"

using namespace zk;
using namespace std::chrono_literals;

namespace {

bool ExpiresWithin(const HttpAnswerWatch& watch, std::chrono::seconds bound) {
    const auto end = std::chrono::steady_clock::now() + bound;
    while (!watch.Expired()) {
        if (std::chrono::steady_clock::now() > end) return false;
        std::this_thread::sleep_for(5ms);
    }
    return true;
}

}  // namespace

TEST(AnswerWatchdog, OneThreadBoundsRequestAfterRequestAndMarksOnlyTheLateOne) {
    auto watchdog = std::make_shared<HttpAnswerWatchdog>();
    auto gate = std::make_shared<HttpAbortGate>();
    for (int i = 0; i < 50; ++i) {  // requests answered in time
        HttpAnswerWatch watch(watchdog, gate, nullptr, 60s);
        EXPECT_FALSE(watch.Expired());
        EXPECT_NO_THROW(watch.Check(kHttpErrEndRequest));
    }
    {
        // A long bound armed first, a short one after it: the short one is due first.
        HttpAnswerWatch patient(watchdog, gate, nullptr, 60s);
        HttpAnswerWatch late(watchdog, gate, nullptr, 20ms);
        ASSERT_TRUE(ExpiresWithin(late, 30s));
        EXPECT_FALSE(patient.Expired());
        EXPECT_THROW(late.Check(kHttpErrEndRequest), httpclientexceptionW);
        EXPECT_NO_THROW(patient.Check(kHttpErrEndRequest));
    }
    HttpAnswerWatch next(watchdog, gate, nullptr, 60s);  // after an expiry the watchdog goes on
    EXPECT_FALSE(next.Expired());
    HttpAnswerWatch again(watchdog, gate, nullptr, 10ms);
    EXPECT_TRUE(ExpiresWithin(again, 30s));
    EXPECT_FALSE(next.Expired());
}

TEST(AnswerWatchdog, AResponseMayOutliveItsClientsWatchdogReference) {
    auto gate = std::make_shared<HttpAbortGate>();
    auto watchdog = std::make_shared<HttpAnswerWatchdog>();
    auto watch = std::make_unique<HttpAnswerWatch>(watchdog, gate, nullptr, 10ms);
    watchdog.reset();  // the client is gone; the watch keeps the watchdog
    EXPECT_TRUE(ExpiresWithin(*watch, 30s));
    watch.reset();  // ends the watchdog and its thread
}
