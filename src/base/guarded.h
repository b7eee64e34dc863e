// A value with the mutex that guards it: the value is reached only through a lock, so no reader
// can forget to take it.
#pragma once
#include <mutex>
#include <utility>

namespace zk {

template <class T>
class Guarded {
public:
    Guarded() = default;
    explicit Guarded(T value) : m_value(std::move(value)) {}
    Guarded(const Guarded&) = delete;
    Guarded& operator=(const Guarded&) = delete;

    // Runs f on the value with the lock held and returns what f returns.
    template <class F>
    decltype(auto) With(F&& f) {
        std::lock_guard lock(m_mutex);
        return std::forward<F>(f)(m_value);
    }
    template <class F>
    decltype(auto) With(F&& f) const {
        std::lock_guard lock(m_mutex);
        return std::forward<F>(f)(std::as_const(m_value));
    }
    [[nodiscard]] T Copy() const {
        std::lock_guard lock(m_mutex);
        return m_value;
    }
    void Set(T value) {
        std::lock_guard lock(m_mutex);
        m_value = std::move(value);
    }

private:
    mutable std::mutex m_mutex;
    T m_value{};
};

}  // namespace zk
