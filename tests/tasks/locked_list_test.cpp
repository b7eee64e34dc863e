#include <gtest/gtest.h>

#include <vector>

#include "tasks/locked_list.h"

using namespace zk;

namespace {
std::vector<std::wstring> Values(const CZKLockedList& l) {
    std::vector<std::wstring> v;
    for (auto* e = l.First(); e; e = e->next) v.push_back(e->value);
    return v;
}
std::vector<std::wstring> ValuesBackwards(const CZKLockedList& l) {
    std::vector<std::wstring> v;
    for (auto* e = l.Last(); e; e = e->prev) v.insert(v.begin(), e->value);
    return v;
}
}  // namespace

TEST(LockedList, AppendInsertRemoveKeepLinksConsistent) {
    CZKLockedList l;
    auto* a = l.Append(L"", L"a", L"");
    auto* c = l.Append(L"", L"c", L"");
    auto* b = l.InsertBefore(c, L"k", L"b", L"lbl");
    l.InsertBefore(a, L"", L"0", L"");
    l.InsertBefore(nullptr, L"", L"d", L"");
    EXPECT_EQ(Values(l), (std::vector<std::wstring>{L"0", L"a", L"b", L"c", L"d"}));
    EXPECT_EQ(ValuesBackwards(l), Values(l));
    EXPECT_EQ(l.Count(), 5);
    EXPECT_EQ(b->key, L"k");
    EXPECT_EQ(b->label, L"lbl");
    EXPECT_EQ(b->state, kFileNew);
    EXPECT_EQ(b->listLock, &l.Mutex());
    l.Remove(b);
    l.Remove(l.First());
    l.Remove(l.Last());
    EXPECT_EQ(Values(l), (std::vector<std::wstring>{L"a", L"c"}));
    EXPECT_EQ(ValuesBackwards(l), Values(l));
    EXPECT_EQ(l.Count(), 2);
}

TEST(LockedList, MoveAfterAndToFront) {
    CZKLockedList l;
    auto* a = l.Append(L"", L"a", L"");
    auto* b = l.Append(L"", L"b", L"");
    auto* c = l.Append(L"", L"c", L"");
    l.MoveAfter(c, nullptr);
    EXPECT_EQ(Values(l), (std::vector<std::wstring>{L"c", L"a", L"b"}));
    l.MoveAfter(c, b);
    EXPECT_EQ(Values(l), (std::vector<std::wstring>{L"a", L"b", L"c"}));
    l.MoveAfter(a, c);
    EXPECT_EQ(Values(l), (std::vector<std::wstring>{L"b", L"c", L"a"}));
    l.MoveAfter(b, c);
    EXPECT_EQ(Values(l), (std::vector<std::wstring>{L"c", L"b", L"a"}));
    EXPECT_EQ(ValuesBackwards(l), Values(l));
    EXPECT_EQ(l.Count(), 3);
}

TEST(LockedList, EmptySparesEntriesNotOwned) {
    CZKListEntry row1(L"TASKS_QUEUED", L"3", L"label");
    CZKListEntry row2(L"UID", L"17", L"UID");
    {
        CZKLockedList l;
        l.AppendNotOwned(&row1);
        l.Append(L"", L"owned", L"");
        l.AppendNotOwned(&row2);
        EXPECT_TRUE(row1.notOwned);
        EXPECT_EQ(l.Count(), 3);
        l.Empty();
        EXPECT_EQ(l.Count(), 0);
        EXPECT_EQ(l.First(), nullptr);
        l.AppendNotOwned(&row1);
    }  // the list's destructor empties it again
    EXPECT_EQ(row1.value, L"3");
    EXPECT_EQ(row2.value, L"17");
    EXPECT_EQ(row1.next, nullptr);
    EXPECT_EQ(row1.listLock, nullptr);
    row1.SetValue(L"4");
    EXPECT_EQ(row1.Value(), L"4");
}
