// Exceptions of the HTTP client. Every failure is thrown as httpclientexceptionW carrying a
// message, the client's own error code and the platform's last-error number; the narrow twin is
// thrown only by the narrow tool operations and converted before it leaves the wide layer.
#pragma once
#include <cstdint>
#include <exception>
#include <string>

namespace zk {

// An owned copy of a message text. An allocation failure leaves no text and throws nothing.
template <class Char>
class OwnedText {
public:
    OwnedText() = default;
    OwnedText(const OwnedText& o) { Set(o.m_text); }
    OwnedText& operator=(const OwnedText& o) {
        if (this != &o) Set(o.m_text);
        return *this;
    }
    ~OwnedText() { delete[] m_text; }
    [[nodiscard]] const Char* Get() const noexcept { return m_text; }
    void Set(const Char* text) noexcept;

private:
    Char* m_text = nullptr;
};

// The client's own error code and the platform's last-error number, as both twins carry them.
class HttpErrorNumbers {
public:
    HttpErrorNumbers() = default;
    HttpErrorNumbers(uint32_t code, uint32_t osError) : m_code(code), m_osError(osError) {}
    [[nodiscard]] uint32_t ErrorCode() const noexcept { return m_code; }
    [[nodiscard]] uint32_t OsError() const noexcept { return m_osError; }

private:
    uint32_t m_code = 0;
    uint32_t m_osError = 0;
};

class errmsg_exceptionW : public std::exception {
public:
    errmsg_exceptionW() = default;
    explicit errmsg_exceptionW(const wchar_t* message) { SetMessage(message); }

    const char* what() const noexcept override { return "errmsg_exceptionW"; }
    // The message, or L"NULL" when there is none.
    virtual const wchar_t* Message() const noexcept { return m_message.Get() ? m_message.Get() : L"NULL"; }
    // Stores a copy; null leaves no message. An allocation failure leaves no message and throws nothing.
    virtual void SetMessage(const wchar_t* text) noexcept { m_message.Set(text); }

private:
    OwnedText<wchar_t> m_message;
};

class httpclientexceptionW : public errmsg_exceptionW, public HttpErrorNumbers {
public:
    httpclientexceptionW() = default;
    httpclientexceptionW(const wchar_t* message, uint32_t code, uint32_t osError)
        : errmsg_exceptionW(message), HttpErrorNumbers(code, osError) {}
    const char* what() const noexcept override { return "httpclientexceptionW"; }
};

class errmsg_exceptionA : public std::exception {
public:
    errmsg_exceptionA() = default;
    explicit errmsg_exceptionA(const char* message) { SetMessage(message); }

    // The narrow twin gives its message here.
    const char* what() const noexcept override { return Message(); }
    virtual const char* Message() const noexcept { return m_message.Get() ? m_message.Get() : "NULL"; }
    virtual void SetMessage(const char* text) noexcept { m_message.Set(text); }

private:
    OwnedText<char> m_message;
};

class httpclientexceptionA : public errmsg_exceptionA, public HttpErrorNumbers {
public:
    httpclientexceptionA() = default;
    httpclientexceptionA(const char* message, uint32_t code, uint32_t osError)
        : errmsg_exceptionA(message), HttpErrorNumbers(code, osError) {}
};

// Error codes raised by the client.
enum HttpErrorCode : uint32_t {
    kHttpErrUnexpected = 100,
    kHttpErrOutOfMemory = 102,
    kHttpErrInvalidUrl = 103,
    kHttpErrPostNotStarted = 104,
    kHttpErrShortRead = 105,
    kHttpErrInvalidPort = 107,
    kHttpErrArithmetic = 111,
    kHttpErrOverflow = 112,
    kHttpErrDivideByZero = 113,
    kHttpErrQueryInfo = 400,
    kHttpErrReadFile = 401,
    kHttpErrOpen = 402,
    kHttpErrConnect = 403,
    kHttpErrOpenRequest = 404,
    kHttpErrAddHeaders = 405,
    kHttpErrSendRequest = 406,
    kHttpErrSendRequestEx = 407,
    kHttpErrWriteFile = 408,
    kHttpErrEndRequest = 409,
    kHttpErrWideToMulti = 600,
    kHttpErrMultiToWide = 601,
    kHttpErrFileRead = 602,
    kHttpErrSetFilePointer = 604,
    kHttpErrFileSize = 605,
};

// The table text of a code, looked up by range (narrow and wide copies of identical content).
const char* HttpErrorMessageA(uint32_t code);
const wchar_t* HttpErrorMessageW(uint32_t code);

// The five ways of raising.
[[noreturn]] void ThrowHttpCode(uint32_t code);
// The table text formatted with `fileName` as its "%s" (cut to 511 characters), or unformatted.
[[noreturn]] void ThrowHttpCodeOs(uint32_t code, uint32_t osError, const wchar_t* fileName = nullptr);
// A broken precondition: narrow text widened with the system ANSI code page, code 0.
[[noreturn]] void ThrowHttpPrecondition(const char* text);
[[noreturn]] void ThrowHttpPreconditionA(const char* text);
enum class ArithFailure { Other, Overflow, DivideByZero };
[[noreturn]] void ThrowHttpArithmetic(ArithFailure kind);
// Re-raises a narrow exception as the wide one with the same code and OS error.
[[noreturn]] void ThrowHttpWiden(const httpclientexceptionA& e);

}  // namespace zk
