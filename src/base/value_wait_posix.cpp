#include <linux/futex.h>
#include <sys/syscall.h>
#include <time.h>
#include <unistd.h>

#include "base/value_wait.h"

namespace zk {

static_assert(sizeof(std::atomic<uint32_t>) == sizeof(uint32_t));

void WaitWhileEquals(const std::atomic<uint32_t>& word, uint32_t expected, std::chrono::milliseconds timeout) {
    if (timeout.count() <= 0) return;
    timespec ts{static_cast<time_t>(timeout.count() / 1000), static_cast<long>(timeout.count() % 1000) * 1000000};
    syscall(SYS_futex, const_cast<std::atomic<uint32_t>*>(&word), FUTEX_WAIT_PRIVATE, expected, &ts, nullptr, 0);
}

void WakeWaiters(std::atomic<uint32_t>& word) { syscall(SYS_futex, &word, FUTEX_WAKE_PRIVATE, INT32_MAX, nullptr, nullptr, 0); }

}  // namespace zk
