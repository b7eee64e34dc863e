// The choice between kept-alive and fresh connections, from the waits of the answers.
#include <gtest/gtest.h>

#include "http/connection_choice.h"

using namespace zk;
using namespace std::chrono_literals;

namespace {
constexpr auto kStalled = 41ms;  // Linux's delayed acknowledgement
constexpr auto kPrompt = 0ms;

void Feed(HttpConnectionChoice& c, std::chrono::milliseconds wait, int times) {
    for (int i = 0; i < times; ++i) c.Record(wait);
}
}  // namespace

TEST(ConnectionChoice, PromptAnswersKeepTheConnection) {
    HttpConnectionChoice c;
    Feed(c, kPrompt, 1000);
    EXPECT_FALSE(c.Fresh());
}

TEST(ConnectionChoice, OneSlowAnswerIsNoStallPattern) {
    HttpConnectionChoice c;
    for (int i = 0; i < 100; ++i) {
        c.Record(kStalled);
        c.Record(kPrompt);
    }
    EXPECT_FALSE(c.Fresh()) << "a server that now and then pauses keeps its connection";
}

TEST(ConnectionChoice, StallsOnAKeptAliveConnectionGiveFreshOnes) {
    HttpConnectionChoice c;
    c.Record(kStalled);
    EXPECT_FALSE(c.Fresh());
    c.Record(kStalled);
    EXPECT_TRUE(c.Fresh());
    Feed(c, kPrompt, HttpConnectionChoice::kFreshBeforeRetry - 1);
    EXPECT_TRUE(c.Fresh()) << "fresh connections answer promptly: they stay";
    c.Record(kPrompt);
    EXPECT_FALSE(c.Fresh()) << "now and then a kept-alive connection is tried again";
    Feed(c, kStalled, 2);
    EXPECT_TRUE(c.Fresh()) << "and left again when it still stalls";
}

TEST(ConnectionChoice, WhenFreshConnectionsStallTooKeptAliveOnesComeBackForLonger) {
    HttpConnectionChoice c;
    Feed(c, kStalled, 2);
    ASSERT_TRUE(c.Fresh());
    Feed(c, kStalled, 2);  // as on a stack that delays the first acknowledgement as well
    ASSERT_FALSE(c.Fresh());
    Feed(c, kStalled, HttpConnectionChoice::kFirstHold);
    EXPECT_FALSE(c.Fresh()) << "held on kept-alive connections, stalls or not";
    c.Record(kStalled);
    EXPECT_TRUE(c.Fresh()) << "then fresh ones are tried once more";
    Feed(c, kStalled, 2);
    ASSERT_FALSE(c.Fresh());
    Feed(c, kStalled, 2 * HttpConnectionChoice::kFirstHold);
    EXPECT_FALSE(c.Fresh()) << "the hold doubles";
    c.Record(kStalled);
    EXPECT_TRUE(c.Fresh());
}
