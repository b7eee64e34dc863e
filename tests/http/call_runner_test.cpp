// The call runner: calls that return are waited for, calls that do not are given up and left
// to end on their own, owning what they use; the caller always gets its thread back.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <future>
#include <memory>
#include <stdexcept>
#include <thread>
#include <vector>

#include "http/call_runner.h"

using namespace zk;
using namespace std::chrono_literals;

namespace {

auto Soon(std::chrono::milliseconds ms) { return HttpCallRunner::Clock::now() + ms; }

// A call that blocks until released, like a platform call that ignores every abort.
struct Blocked {
    std::promise<void> release;
    std::shared_future<void> released = release.get_future().share();
    std::function<void()> Call(std::shared_ptr<int> owned, std::atomic<bool>& returned) {
        return [f = released, owned, &returned] {
            f.wait();
            *owned += 1;  // what it owns is still there when it ends
            returned = true;
        };
    }
};

}  // namespace

TEST(CallRunner, CallsThatReturnAreWaitedForWithTheirResultsAndFaults) {
    HttpCallRunner runner;
    int sum = 0;
    for (int i = 1; i <= 100; ++i) ASSERT_TRUE(runner.Run([&sum, i] { sum += i; }, Soon(60s)));
    EXPECT_EQ(sum, 5050);
    EXPECT_THROW(runner.Run([] { throw std::runtime_error("failed"); }, Soon(60s)), std::runtime_error);
    EXPECT_TRUE(runner.Run([] {}, Soon(60s))) << "a fault ends nothing";
    EXPECT_EQ(runner.Stuck(), 0);
}

TEST(CallRunner, ACallPastItsDueIsGivenUpAndEndsOnItsOwnWithWhatItOwns) {
    HttpCallRunner runner;
    Blocked blocked;
    std::atomic<bool> returned{false};
    auto owned = std::make_shared<int>(0);
    std::weak_ptr<int> watch = owned;
    EXPECT_FALSE(runner.Run(blocked.Call(std::move(owned), returned), Soon(50ms)));
    EXPECT_EQ(runner.Stuck(), 1);
    EXPECT_FALSE(watch.expired()) << "the given-up call owns its state";
    // The next calls go on meanwhile, on another thread.
    std::thread::id ran;
    ASSERT_TRUE(runner.Run([&ran] { ran = std::this_thread::get_id(); }, Soon(60s)));
    EXPECT_NE(ran, std::this_thread::get_id());
    EXPECT_FALSE(runner.WaitForStuck(Soon(10ms)));
    blocked.release.set_value();
    EXPECT_TRUE(runner.WaitForStuck(Soon(60s)));
    EXPECT_TRUE(returned.load());
    EXPECT_TRUE(watch.expired()) << "released when the call ended";
    EXPECT_EQ(runner.Stuck(), 0);
}

TEST(CallRunner, BeyondTheStuckBoundCallsRunOnTheCallersThread) {
    HttpCallRunner runner;
    Blocked blocked;
    std::atomic<bool> returned[HttpCallRunner::kMaxStuck] = {};
    for (auto& r : returned) EXPECT_FALSE(runner.Run(blocked.Call(std::make_shared<int>(0), r), Soon(20ms)));
    EXPECT_EQ(runner.Stuck(), HttpCallRunner::kMaxStuck);
    std::thread::id ran;
    ASSERT_TRUE(runner.Run([&ran] { ran = std::this_thread::get_id(); }, Soon(60s)));
    EXPECT_EQ(ran, std::this_thread::get_id()) << "no thread is started beyond the bound";
    blocked.release.set_value();
    EXPECT_TRUE(runner.WaitForStuck(Soon(60s)));
    ASSERT_TRUE(runner.Run([&ran] { ran = std::this_thread::get_id(); }, Soon(60s)));
    EXPECT_NE(ran, std::this_thread::get_id()) << "threads again once the stuck calls ended";
}

TEST(CallRunner, AnInterruptEndsTheWaitAtOnceAndRefusesLaterCallsUntilCleared) {
    HttpCallRunner runner;
    Blocked blocked;
    std::atomic<bool> returned{false};
    auto waiter = std::async(std::launch::async, [&] { return runner.Run(blocked.Call(std::make_shared<int>(0), returned), Soon(1h)); });
    ASSERT_EQ(waiter.wait_for(200ms), std::future_status::timeout) << "waiting for the blocked call";
    runner.Interrupt();
    EXPECT_FALSE(waiter.get());
    bool ran = false;
    EXPECT_FALSE(runner.Run([&ran] { ran = true; }, Soon(60s)));
    EXPECT_FALSE(ran);
    runner.ClearInterrupt();
    EXPECT_TRUE(runner.Run([&ran] { ran = true; }, Soon(60s)));
    EXPECT_TRUE(ran);
    blocked.release.set_value();
    EXPECT_TRUE(runner.WaitForStuck(Soon(60s)));
}

TEST(CallRunner, ARunnerEndsWhileACallIsStuck) {
    Blocked blocked;
    std::atomic<bool> returned{false};
    auto owned = std::make_shared<int>(0);
    std::weak_ptr<int> watch = owned;
    {
        HttpCallRunner runner;
        EXPECT_FALSE(runner.Run(blocked.Call(std::move(owned), returned), Soon(20ms)));
    }
    EXPECT_FALSE(watch.expired());
    blocked.release.set_value();
    for (int i = 0; i < 6000 && !watch.expired(); ++i) std::this_thread::sleep_for(10ms);
    EXPECT_TRUE(returned.load());
    EXPECT_TRUE(watch.expired()) << "the left call ended on its own and let go of its state";
}
