// Progress record of an upload: totals set at start, counters that grow with every write.
// Every accessor refuses an inactive record with "<Class>::<Accessor>: The post context is not active.".
#pragma once
#include <cstdint>
#include <optional>
#include <string>

namespace zk {

class CHttpPostStatT {
public:
    CHttpPostStatT() = default;
    CHttpPostStatT(const CHttpPostStatT&) = default;
    CHttpPostStatT& operator=(const CHttpPostStatT&) = default;
    virtual ~CHttpPostStatT() = default;

    [[nodiscard]] bool IsActive() const { return m_active; }
    uint32_t ActualTotalByte() const;
    uint32_t ActualPostedByte() const;
    uint32_t TotalCount() const;
    uint32_t PostedCount() const;
    uint32_t FileCount() const;
    uint32_t PostedFileCount() const;
    uint32_t CurrParamPostedByte() const;
    uint32_t CurrParamRemainByte() const;
    bool CurrParamIsFile() const;
    bool CurrParamIsComplete() const;
    // Totals besides the accessors of the record's users.
    [[nodiscard]] uint32_t TotalByte() const { return m_totalBytes; }
    [[nodiscard]] uint32_t PostedByte() const { return m_postedBytes; }
    [[nodiscard]] const std::optional<std::wstring>& CurrParamName() const { return m_currName; }
    [[nodiscard]] const std::optional<std::wstring>& CurrParamPath() const { return m_currPath; }

    // Used by the client.
    void Activate(uint32_t actualTotal, uint32_t totalBytes, uint32_t totalCount, uint32_t fileCount);
    void _TestStartNewEntry(bool isFile) const;
    void _TestAddPostedBytes(uint32_t n) const;
    void _TestAddActualPostedBytes(uint32_t n) const;
    void StartNewEntry(const wchar_t* name, const wchar_t* filePath, uint32_t size);
    void AddPostedBytes(uint32_t n);
    void AddActualPostedBytes(uint32_t n);
    void Reset();
    void CopyFrom(const CHttpPostStatT& o);

private:
    void RequireActive(const char* text) const;

    bool m_active = false;
    uint32_t m_actualTotalBytes = 0;
    uint32_t m_actualPostedBytes = 0;
    uint32_t m_totalBytes = 0;
    uint32_t m_postedBytes = 0;
    uint32_t m_totalCount = 0;
    uint32_t m_postedCount = 0;
    uint32_t m_fileCount = 0;
    uint32_t m_postedFileCount = 0;
    std::optional<std::wstring> m_currName;
    std::optional<std::wstring> m_currPath;
    uint32_t m_currTotalBytes = 0;
    uint32_t m_currPostedBytes = 0;
};

}  // namespace zk
