// A thread's wait for an atomic word to change, and the wake of its waiters, on the platform's
// address wait (WaitOnAddress on Windows, a futex natively). It needs no kernel object: under
// Wine a hand-over through the C++ library's mutex and condition variable costs about 0.7 ms,
// one through an address wait about 0.02 ms. What the word guards must be published through it
// (release before the wake, acquire after the wait).
#pragma once
#include <atomic>
#include <chrono>
#include <cstdint>

namespace zk {

// Waits while `word` holds `expected`, at most `timeout`. It may return early: callers look at
// the word again.
void WaitWhileEquals(const std::atomic<uint32_t>& word, uint32_t expected, std::chrono::milliseconds timeout);
// Wakes every thread waiting on `word`.
void WakeWaiters(std::atomic<uint32_t>& word);

}  // namespace zk
