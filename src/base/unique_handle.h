// Move-only owner of one platform handle (HANDLE, HKEY, HINTERNET, HICON, GDI object, FILE* ...).
// The closer runs exactly once, when the owner is reset or destroyed. `InvalidValue` is the
// handle type's "none": null by default; for a pointer type whose "none" is another value
// (a file handle's INVALID_HANDLE_VALUE) it may be given as an integer.
#pragma once
#include <cstdint>
#include <type_traits>
#include <utility>

namespace zk {

template <class T, auto Close, auto InvalidValue = T{}>
class UniqueHandle {
    static T MakeInvalid() noexcept {
        if constexpr (std::is_pointer_v<T> && std::is_integral_v<decltype(InvalidValue)>)
            return reinterpret_cast<T>(static_cast<intptr_t>(InvalidValue));
        else
            return InvalidValue;
    }
    inline static const T Invalid = MakeInvalid();

public:
    UniqueHandle() noexcept = default;
    explicit UniqueHandle(T h) noexcept : m_h(h) {}
    UniqueHandle(const UniqueHandle&) = delete;
    UniqueHandle& operator=(const UniqueHandle&) = delete;
    UniqueHandle(UniqueHandle&& o) noexcept : m_h(o.release()) {}
    UniqueHandle& operator=(UniqueHandle&& o) noexcept {
        if (this != &o) reset(o.release());
        return *this;
    }
    ~UniqueHandle() { reset(); }

    [[nodiscard]] T get() const noexcept { return m_h; }
    [[nodiscard]] bool valid() const noexcept { return m_h != Invalid; }
    explicit operator bool() const noexcept { return valid(); }

    // Closes the held handle (if any) and takes h.
    void reset(T h = Invalid) noexcept {
        T old = std::exchange(m_h, h);
        if (old != Invalid) Close(old);
    }
    // Gives up ownership without closing.
    [[nodiscard]] T release() noexcept { return std::exchange(m_h, Invalid); }
    // Closes the held handle and gives the address for an API that writes a new one.
    T* put() noexcept {
        reset();
        return &m_h;
    }

private:
    T m_h = Invalid;
};

}  // namespace zk
