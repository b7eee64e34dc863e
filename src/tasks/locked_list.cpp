#include "tasks/locked_list.h"

#include <new>

namespace zk {

std::wstring CZKListEntry::Value() const {
    if (!listLock) return value;
    std::lock_guard lock(*listLock);
    return value;
}

void CZKListEntry::SetValue(std::wstring v) {
    if (!listLock) {
        value = std::move(v);
        return;
    }
    std::lock_guard lock(*listLock);
    value = std::move(v);
}

CZKLockedList::~CZKLockedList() { Empty(); }

void CZKLockedList::LinkBefore(CZKListEntry* e, CZKListEntry* before) {
    e->listLock = &m_mutex;
    if (!before) {
        e->prev = m_last;
        e->next = nullptr;
        if (m_last) m_last->next = e; else m_first = e;
        m_last = e;
    } else {
        e->next = before;
        e->prev = before->prev;
        if (before->prev) before->prev->next = e; else m_first = e;
        before->prev = e;
    }
    ++m_count;
}

void CZKLockedList::Unlink(CZKListEntry* e) {
    if (e->prev) e->prev->next = e->next; else m_first = e->next;
    if (e->next) e->next->prev = e->prev; else m_last = e->prev;
    e->prev = e->next = nullptr;
    --m_count;
}

CZKListEntry* CZKLockedList::Append(std::wstring key, std::wstring value, std::wstring label) {
    return InsertBefore(nullptr, std::move(key), std::move(value), std::move(label));
}

CZKListEntry* CZKLockedList::InsertBefore(CZKListEntry* before, std::wstring key, std::wstring value, std::wstring label) {
    std::lock_guard lock(m_mutex);
    auto* e = new (std::nothrow) CZKListEntry(std::move(key), std::move(value), std::move(label));
    if (!e) return nullptr;
    LinkBefore(e, before);
    return e;
}

void CZKLockedList::AppendNotOwned(CZKListEntry* entry) {
    if (!entry) return;
    std::lock_guard lock(m_mutex);
    entry->notOwned = true;
    LinkBefore(entry, nullptr);
}

void CZKLockedList::Remove(CZKListEntry* entry) {
    if (!entry) return;
    std::lock_guard lock(m_mutex);
    Unlink(entry);
    if (entry->notOwned) entry->listLock = nullptr; else delete entry;
}

void CZKLockedList::MoveAfter(CZKListEntry* entry, CZKListEntry* after) {
    if (!entry || entry == after) return;
    std::lock_guard lock(m_mutex);
    Unlink(entry);
    LinkBefore(entry, after ? after->next : m_first);
}

void CZKLockedList::Empty() {
    std::lock_guard lock(m_mutex);
    CZKListEntry* e = m_first;
    while (e) {
        CZKListEntry* next = e->next;
        if (e->notOwned) {
            e->prev = e->next = nullptr;
            e->listLock = nullptr;
        } else {
            delete e;
        }
        e = next;
    }
    m_first = m_last = nullptr;
    m_count = 0;
}

}  // namespace zk
