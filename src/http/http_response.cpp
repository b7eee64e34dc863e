#include "http/http_response.h"

#include "http/http_errors.h"

#include <utility>

namespace zk {

uint32_t CHttpResponseT::GetStatus() {
    if (!m_hRequest) ThrowHttpPrecondition("CHttpResponseT::GetStatus: m_hRequest can not be NULL.");
    if (m_status == 0) {
        _CheckDeadline(kHttpErrQueryInfo);
        m_status = CHttpToolW::QueryStatusCode(m_hRequest);
    }
    return m_status;
}

const wchar_t* CHttpResponseT::GetStatusText() {
    if (!m_hRequest) ThrowHttpPrecondition("CHttpResponseT::GetStatusText: m_hRequest can not be NULL.");
    if (!m_statusText) {
        _CheckDeadline(kHttpErrQueryInfo);
        m_statusText = CHttpToolW::GetStatusText(m_hRequest);
    }
    return m_statusText.get();
}

const wchar_t* CHttpResponseT::GetHeader(const wchar_t* szName) {
    if (!szName) ThrowHttpPrecondition("CHttpResponseT::GetHeader: szName can not be NULL.");
    if (!m_hRequest) ThrowHttpPrecondition("CHttpResponseT::GetHeader: m_hRequest can not be NULL.");
    const CHttpClientMapT::Entry* e = m_headers.Get(szName);
    if (!e && _LoadHeader(szName) > 0) e = m_headers.Get(szName);
    return e ? e->ValueOrEmpty() : nullptr;
}

uint32_t CHttpResponseT::_LoadHeader(const wchar_t* szName) {
    if (!m_hRequest) ThrowHttpPrecondition("CHttpResponseT::_LoadHeader: m_hRequest can not be NULL.");
    if (!szName) ThrowHttpPrecondition("CHttpResponseT::_LoadHeader: szName can not be NULL.");
    uint32_t index = 0, added = 0;
    _CheckDeadline(kHttpErrQueryInfo);
    try {
        while (auto value = CHttpToolW::GetHeader(m_hRequest, szName, &index)) {
            m_headers.Add(szName, value.get(), 0);
            ++added;
        }
    } catch (...) {
        m_headers.RemoveAll(szName);
        throw;
    }
    return added;
}

uint32_t CHttpResponseT::GetContentLength() {
    if (!m_hRequest) ThrowHttpPrecondition("CHttpResponseT::GetContentLength: m_hRequest can not be NULL.");
    _CheckDeadline(kHttpErrQueryInfo);
    return CHttpToolW::QueryContentLength(m_hRequest);
}

uint32_t CHttpResponseT::ReadContent(void* buffer, uint32_t size) {
    if (!m_hRequest) ThrowHttpPrecondition("CHttpResponseT::ReadContent: m_hRequest can not be NULL.");
    _CheckDeadline(kHttpErrReadFile);
    uint32_t read = 0;
    const auto readAt = std::chrono::steady_clock::now();
    try {
        read = CHttpToolW::ReadContent(m_hRequest, buffer, size);
    } catch (const httpclientexceptionW&) {
        _CheckDeadline(kHttpErrReadFile);
        throw;
    }
    _CheckDeadline(kHttpErrReadFile);
    if (m_report) std::exchange(m_report, nullptr)(std::chrono::steady_clock::now() - readAt);
    if (read == 0) m_watch.reset();  // the answer is complete: nothing left to bound
    return read;
}

}  // namespace zk
