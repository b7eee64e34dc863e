// Runs a function when the scope ends, however it ends (a return, an exception): for the few
// undo steps that are no handle of their own.
#pragma once
#include <utility>

namespace zk {

template <class F>
class ScopeExit {
public:
    explicit ScopeExit(F f) : m_f(std::move(f)) {}
    ~ScopeExit() { m_f(); }
    ScopeExit(const ScopeExit&) = delete;
    ScopeExit& operator=(const ScopeExit&) = delete;

private:
    F m_f;
};

}  // namespace zk
