#include "http/post_stat.h"

#include "http/http_errors.h"
#include "http/safe_int.h"

namespace zk {

#define ZK_INACTIVE(name) "CHttpPostStatT::" name ": The post context is not active."

void CHttpPostStatT::RequireActive(const char* text) const {
    if (!m_active) ThrowHttpPrecondition(text);
}

uint32_t CHttpPostStatT::ActualTotalByte() const { RequireActive(ZK_INACTIVE("ActualTotalByte")); return m_actualTotalBytes; }
uint32_t CHttpPostStatT::ActualPostedByte() const { RequireActive(ZK_INACTIVE("ActualPostedByte")); return m_actualPostedBytes; }
uint32_t CHttpPostStatT::TotalCount() const { RequireActive(ZK_INACTIVE("TotalCount")); return m_totalCount; }
uint32_t CHttpPostStatT::PostedCount() const { RequireActive(ZK_INACTIVE("PostedCount")); return m_postedCount; }
uint32_t CHttpPostStatT::FileCount() const { RequireActive(ZK_INACTIVE("FileCount")); return m_fileCount; }
uint32_t CHttpPostStatT::PostedFileCount() const { RequireActive(ZK_INACTIVE("PostedFileCount")); return m_postedFileCount; }
uint32_t CHttpPostStatT::CurrParamPostedByte() const { RequireActive(ZK_INACTIVE("CurrParamPostedByte")); return m_currPostedBytes; }
uint32_t CHttpPostStatT::CurrParamRemainByte() const {
    RequireActive(ZK_INACTIVE("CurrParamRemainByte"));
    return m_currTotalBytes - m_currPostedBytes;
}
bool CHttpPostStatT::CurrParamIsFile() const { RequireActive(ZK_INACTIVE("CurrParamIsFile")); return m_currPath.has_value(); }
bool CHttpPostStatT::CurrParamIsComplete() const {
    RequireActive(ZK_INACTIVE("CurrParamIsComplete"));
    return m_currPostedBytes == m_currTotalBytes;
}

void CHttpPostStatT::Activate(uint32_t actualTotal, uint32_t totalBytes, uint32_t totalCount, uint32_t fileCount) {
    Reset();
    m_active = true;
    m_actualTotalBytes = actualTotal;
    m_totalBytes = totalBytes;
    m_totalCount = totalCount;
    m_fileCount = fileCount;
}

void CHttpPostStatT::_TestStartNewEntry(bool isFile) const {
    RequireActive(ZK_INACTIVE("_TestStartNewEntry"));
    (void)SafeAdd(m_postedCount, 1);
    if (isFile) (void)SafeAdd(m_postedFileCount, 1);
}

void CHttpPostStatT::_TestAddPostedBytes(uint32_t n) const {
    RequireActive(ZK_INACTIVE("_TestAddPostedBytes"));
    (void)SafeAdd(m_postedBytes, n);
    (void)SafeAdd(m_currPostedBytes, n);
}

void CHttpPostStatT::_TestAddActualPostedBytes(uint32_t n) const {
    RequireActive(ZK_INACTIVE("_TestAddActualPostedBytes"));
    (void)SafeAdd(m_actualPostedBytes, n);
}

void CHttpPostStatT::StartNewEntry(const wchar_t* name, const wchar_t* filePath, uint32_t size) {
    _TestStartNewEntry(filePath != nullptr);
    ++m_postedCount;
    if (filePath) {
        ++m_postedFileCount;
        m_currPath = filePath;
    } else {
        m_currPath.reset();
    }
    m_currName = name ? std::optional<std::wstring>(name) : std::nullopt;
    m_currTotalBytes = size;
    m_currPostedBytes = 0;
}

void CHttpPostStatT::AddPostedBytes(uint32_t n) {
    _TestAddPostedBytes(n);
    m_postedBytes += n;
    m_currPostedBytes += n;
}

void CHttpPostStatT::AddActualPostedBytes(uint32_t n) {
    _TestAddActualPostedBytes(n);
    m_actualPostedBytes += n;
}

void CHttpPostStatT::Reset() { *this = CHttpPostStatT(); }

void CHttpPostStatT::CopyFrom(const CHttpPostStatT& o) {
    if (this != &o) *this = o;
}

#undef ZK_INACTIVE

}  // namespace zk
