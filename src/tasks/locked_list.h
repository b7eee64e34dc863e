// The locked list: a doubly linked list of list entries guarded by its own recursive lock.
// One entry type serves statistics rows, pages, extension entries, drop-thread entries and
// the file items of a task; its two general attributes are read through the accessor of each use.
#pragma once
#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>

#include "base/rect.h"
#include "tasks/file_state.h"

namespace zk {

class CZKLockedList;

struct CZKListEntry {
    CZKListEntry(std::wstring k, std::wstring v, std::wstring l)
        : key(std::move(k)), value(std::move(v)), label(std::move(l)) {}

    int32_t index = 0;    // page: 1-based number
    int32_t kind = 0;     // row: 0 read-only, 1 editable, 2 text block
    bool alternate = false;
    std::atomic<bool> alert{false};  // row: value drawn in the alert colour
    RectI labelRect, valueRect;
    bool visible = true;
    std::recursive_mutex* listLock = nullptr;
    CZKListEntry* prev = nullptr;
    CZKListEntry* next = nullptr;
    std::wstring key;
    std::wstring value;   // row value, page title, file item path, extension
    std::wstring label;   // row label, page body, shortcut target of a file item
    bool sourceInLabel = false;
    uint64_t size = 0;    // file item size in bytes (64-bit: files of 4 GiB and more keep their size)
    int32_t state = kFileNew;
    bool notOwned = false;

    // Row: how its value is aligned in its cell, and whether a long path is shortened in the middle.
    [[nodiscard]] int32_t ValueAlign() const { return attrA; }
    [[nodiscard]] bool TrimsPath() const { return attrB != 0; }
    void SetRowLook(int32_t align, bool trimsPath) { attrA = align, attrB = trimsPath ? 1 : 0; }
    // Page: its body's size at 96 DPI.
    [[nodiscard]] int32_t PageWidth() const { return attrA; }
    [[nodiscard]] int32_t PageHeight() const { return attrB; }
    void SetPageSize(int32_t width, int32_t height) { attrA = width, attrB = height; }
    // Drop-thread list: the thread object the entry stands for (owned by whoever empties the list).
    template <class T>
    [[nodiscard]] T* Attached() const { return static_cast<T*>(attached); }
    void Attach(void* object) { attached = object; }

    // Copies under the owning list's lock, for entries shared between threads (rows).
    [[nodiscard]] std::wstring Value() const;
    void SetValue(std::wstring v);

private:
    int32_t attrA = 0;  // row: value alignment; page: width
    int32_t attrB = 0;  // row: path trimming; page: height
    void* attached = nullptr;
};

class CZKLockedList {
public:
    CZKLockedList() = default;
    CZKLockedList(const CZKLockedList&) = delete;
    CZKLockedList& operator=(const CZKLockedList&) = delete;
    ~CZKLockedList();

    // Allocates and links a new entry at the end; null when memory runs out.
    CZKListEntry* Append(std::wstring key, std::wstring value, std::wstring label);
    // A new entry before `before` (at the end when `before` is null).
    CZKListEntry* InsertBefore(CZKListEntry* before, std::wstring key, std::wstring value, std::wstring label);
    // Links an entry that lives elsewhere; Empty() unlinks it without destroying it.
    void AppendNotOwned(CZKListEntry* entry);
    // Unlinks the entry and destroys it (an entry not owned is only unlinked).
    void Remove(CZKListEntry* entry);
    // Moves `entry` to directly after `after`, or to the front when `after` is null.
    void MoveAfter(CZKListEntry* entry, CZKListEntry* after);
    // Destroys every owned entry, unlinks the rest.
    void Empty();

    [[nodiscard]] CZKListEntry* First() const { return m_first; }
    [[nodiscard]] CZKListEntry* Last() const { return m_last; }
    [[nodiscard]] int32_t Count() const { return m_count.load(); }
    std::recursive_mutex& Mutex() const { return m_mutex; }

private:
    void LinkBefore(CZKListEntry* e, CZKListEntry* before);
    void Unlink(CZKListEntry* e);

    mutable std::recursive_mutex m_mutex;  // guards the links of every entry and m_first/m_last
    CZKListEntry* m_first = nullptr;
    CZKListEntry* m_last = nullptr;
    std::atomic<int32_t> m_count{0};
};

}  // namespace zk
