// The authentication server's answer as the session reads it: windows-1251 bytes decoded, the
// error report, identifiers, endpoint attributes and the pushed parameters.
#include "base/codepage.h"
#include "fuzz_input.h"
#include "session/auth_answer.h"
#include "session/session_encoders.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::wstring body;
    if (!zk::CodePageToWide(zk::kCodePage1251, zk::fuzz::Bytes(data, size), body)) return 0;
    std::wstring message;
    (void)zk::ErrorReport(body, message);
    const std::wstring uid = zk::TextBetween(body, L"<UID>", L"</UID>");
    for (const wchar_t* tag : {L"<FTP", L"<HTTP"})
        for (const wchar_t* name : {L"host", L"port", L"path", L"login", L"passwd"}) (void)zk::TagAttribute(body, tag, name);
    const auto params = zk::ParseParams(body);
    // Names and values come trimmed of spaces.
    for (auto& [name, value] : params)
        for (const std::wstring* t : {&name, &value})
            if (!t->empty() && (t->front() == L' ' || t->back() == L' ')) __builtin_trap();
    (void)zk::Base64Encode(uid + L":" + message);
    return 0;
}
