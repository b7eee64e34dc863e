#include <windows.h>

#include "base/value_wait.h"

namespace zk {

static_assert(sizeof(std::atomic<uint32_t>) == sizeof(uint32_t));

void WaitWhileEquals(const std::atomic<uint32_t>& word, uint32_t expected, std::chrono::milliseconds timeout) {
    const auto ms = timeout.count() <= 0 ? 0 : timeout.count() >= INFINITE ? INFINITE - 1 : static_cast<DWORD>(timeout.count());
    WaitOnAddress(const_cast<std::atomic<uint32_t>*>(&word), &expected, sizeof expected, static_cast<DWORD>(ms));
}

void WakeWaiters(std::atomic<uint32_t>& word) { WakeByAddressAll(&word); }

}  // namespace zk
