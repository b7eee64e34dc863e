#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "base/zk_thread.h"
#include "support/test_util.h"

using namespace zk;
using namespace std::chrono_literals;

namespace {

class LoopingWorker : public CZKEventThread {
public:
    using CZKEventThread::CZKEventThread;
    ~LoopingWorker() override { StopAndWait(); }
    std::atomic<int> starts{0};
    std::atomic<int> cycles{0};

protected:
    unsigned ThreadBody() override {
        ++starts;
        while (!ShouldStop()) {
            ++cycles;
            PauseUnlessStopped(StopEvent(), 10ms);
        }
        return 0;
    }
};

class OneShotWorker : public CZKEventThread {
public:
    ~OneShotWorker() override { StopAndWait(); }
    std::atomic<int> runs{0};

protected:
    unsigned ThreadBody() override {
        ++runs;
        return 0;
    }
};

class FlagWorker : public CZKFlagThread {
public:
    ~FlagWorker() override { StopAndWait(); }
    std::atomic<int> runs{0};

protected:
    unsigned ThreadBody() override {
        ++runs;
        while (!StopRequested()) std::this_thread::sleep_for(5ms);
        return 0;
    }
};

}  // namespace

TEST(WorkerThread, StartIsRefusedWhileTheBodyRuns) {
    LoopingWorker w;
    EXPECT_TRUE(w.Start());
    ASSERT_TRUE(test::WaitUntil([&] { return w.cycles > 2; }));
    EXPECT_TRUE(w.IsRunning());
    EXPECT_FALSE(w.Start());
    w.StopAndWait();
    EXPECT_FALSE(w.IsRunning());
    EXPECT_EQ(w.starts.load(), 1);
    // After a stop it can be started again; the stop event is reset by Start.
    EXPECT_TRUE(w.Start());
    ASSERT_TRUE(test::WaitUntil([&] { return w.starts == 2; }));
    EXPECT_FALSE(w.ShouldStop());
}

TEST(WorkerThread, StopOfAFinishedBodyReturnsAtOnce) {
    OneShotWorker w;
    ASSERT_TRUE(w.Start());
    ASSERT_TRUE(test::WaitUntil([&] { return !w.IsRunning(); }));
    const auto t0 = std::chrono::steady_clock::now();
    w.StopAndWait();
    w.StopAndWait();
    EXPECT_LT(std::chrono::steady_clock::now() - t0, 2s);
    EXPECT_EQ(w.runs.load(), 1);
    // A finished body can be started again.
    ASSERT_TRUE(w.Start());
    ASSERT_TRUE(test::WaitUntil([&] { return w.runs == 2; }));
}

TEST(WorkerThread, FlagStoppedWorker) {
    FlagWorker w;
    ASSERT_TRUE(w.Start());
    ASSERT_TRUE(test::WaitUntil([&] { return w.runs == 1; }));
    EXPECT_TRUE(w.IsRunning());
    w.StopAndWait();
    EXPECT_FALSE(w.IsRunning());
    EXPECT_TRUE(w.StopRequested());
    ASSERT_TRUE(w.Start());
    EXPECT_FALSE(w.StopRequested());
    ASSERT_TRUE(test::WaitUntil([&] { return w.runs == 2; }));
}

TEST(WorkerThread, LowestPriorityWorkerRunsAndStops) {
    LoopingWorker w(true);
    ASSERT_TRUE(w.Start());
    ASSERT_TRUE(test::WaitUntil([&] { return w.cycles > 0; }));
    w.StopAndWait();
    EXPECT_FALSE(w.IsRunning());
}
