#include "http/http_response.h"

#include "http/http_errors.h"

#include <cstring>
#include <utility>

namespace zk {

uint32_t CHttpResponseT::GetStatus() {
    if (!m_hRequest) ThrowHttpPrecondition("CHttpResponseT::GetStatus: m_hRequest can not be NULL.");
    if (m_status == 0) {
        m_status = CHttpToolW::QueryStatusCode(m_hRequest);
    }
    return m_status;
}

const wchar_t* CHttpResponseT::GetStatusText() {
    if (!m_hRequest) ThrowHttpPrecondition("CHttpResponseT::GetStatusText: m_hRequest can not be NULL.");
    if (!m_statusText) {
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
    return CHttpToolW::QueryContentLength(m_hRequest);
}

uint32_t CHttpResponseT::ReadContent(void* buffer, uint32_t size) {
    if (!m_hRequest) ThrowHttpPrecondition("CHttpResponseT::ReadContent: m_hRequest can not be NULL.");
    const auto readAt = Clock::now();
    uint32_t read = 0;
    if (!m_runner) {
        read = CHttpToolW::ReadContent(m_hRequest, buffer, size);
    } else {
        if (!m_block || m_block.use_count() > 1) m_block = std::make_shared<std::vector<char>>();
        m_block->resize(size);
        auto got = std::make_shared<uint32_t>(0);
        RunRequestCall(*m_runner, m_handles, kHttpErrReadFile, {readAt + m_stall, m_answerDue},
                       [handles = m_handles, block = m_block, got] { *got = CHttpToolW::ReadContent(handles->request.get(), block->data(), static_cast<uint32_t>(block->size())); });
        read = *got;
        if (read > 0) std::memcpy(buffer, m_block->data(), read);
    }
    if (m_report) std::exchange(m_report, nullptr)(Clock::now() - readAt);
    if (read == 0) m_answerDue = Clock::time_point::max();  // the answer is complete: nothing left to bound
    return read;
}

}  // namespace zk
