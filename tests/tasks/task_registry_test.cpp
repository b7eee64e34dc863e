#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <random>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "tasks/task_registry.h"

using namespace zk;

namespace {

// Checks every red-black property and the digest order; gives the black height.
int CheckSubtree(const CZKRBTree& reg, const CZKRBTreeNode* n, const CZKRBTreeNode* parent, std::vector<const CZKRBTreeNode*>& inorder) {
    const CZKRBTreeNode* nil = reg.Sentinel();
    if (n == nil) return 1;
    EXPECT_EQ(n->parent, parent == nullptr ? nil : parent);
    if (!n->black) {
        EXPECT_TRUE(n->left->black) << "red node with red left child";
        EXPECT_TRUE(n->right->black) << "red node with red right child";
    }
    const int lh = CheckSubtree(reg, n->left, n, inorder);
    inorder.push_back(n);
    const int rh = CheckSubtree(reg, n->right, n, inorder);
    EXPECT_EQ(lh, rh) << "unequal black heights";
    return lh + (n->black ? 1 : 0);
}

void CheckTree(const CZKRBTree& reg, size_t expectedCount) {
    std::lock_guard lock(reg.Mutex());
    std::vector<const CZKRBTreeNode*> inorder;
    EXPECT_TRUE(reg.Root()->black) << "root must be black";
    CheckSubtree(reg, reg.Root(), nullptr, inorder);
    ASSERT_EQ(inorder.size(), expectedCount);
    for (size_t i = 1; i < inorder.size(); ++i)
        EXPECT_LT(CZKRBTree::CompareDigests(inorder[i - 1]->GetDigest(), inorder[i]->GetDigest()), 0);
    EXPECT_EQ(reg.taskCount.load(), static_cast<int32_t>(expectedCount));
    const CZKRBTreeNode* nil = reg.Sentinel();
    EXPECT_TRUE(nil->black);
}

std::vector<std::wstring> ArrivalNames(const CZKRBTree& reg) {
    std::lock_guard lock(reg.Mutex());
    std::vector<std::wstring> v;
    for (auto* t = reg.First(); t; t = t->nextArrival) v.push_back(t->Name());
    std::vector<std::wstring> back;
    for (auto* t = reg.Last(); t; t = t->prevArrival) back.insert(back.begin(), t->Name());
    EXPECT_EQ(v, back);
    return v;
}

}  // namespace

TEST(TaskRegistry, DigestOrderUsesSignedLittleEndianHalves) {
    Digest a{}, b{};
    a[7] = 0x80;  // H(a) negative
    b[0] = 0x01;  // H(b) = 1
    EXPECT_LT(CZKRBTree::CompareDigests(a, b), 0);
    Digest c{}, d{};
    c[8] = 2;
    d[15] = 1;  // L(d) = 2^56
    EXPECT_LT(CZKRBTree::CompareDigests(c, d), 0);
    EXPECT_EQ(CZKRBTree::CompareDigests(c, c), 0);
}

TEST(TaskRegistry, DuplicatesAndEqualDigestsAreOneTask) {
    CZKRBTree reg;
    CZKRBTreeNode* t = reg.Insert(L"C:\\audit.UPLOAD\\order1\\");
    ASSERT_NE(t, nullptr);
    EXPECT_EQ(t->state, kTaskBuilding);
    EXPECT_TRUE(t->black) << "the first task is the black root";
    EXPECT_EQ(reg.Insert(L"C:\\audit.UPLOAD\\order1\\"), nullptr);
    // Differing only in characters from U+0800 up: the same digest, so the same task.
    ASSERT_NE(reg.Insert(L"order\u2116"), nullptr);
    EXPECT_EQ(reg.Insert(L"order\u4E2D"), nullptr);
    EXPECT_EQ(reg.taskCount.load(), 2);
    EXPECT_FALSE(reg.Remove(L"not there"));
    EXPECT_EQ(reg.Find(L"order\u4E2D")->Name(), L"order\u2116");
}

TEST(TaskRegistry, RandomInsertsAndRemovalsKeepEveryInvariant) {
    CZKRBTree reg;
    std::mt19937 rng(12345);
    std::vector<std::wstring> model;  // arrival order of live tasks
    std::set<std::wstring> live;
    int serial = 0;
    for (int step = 0; step < 3000; ++step) {
        const bool insert = live.empty() || rng() % 100 < 60;
        if (insert) {
            const std::wstring name = L"task" + std::to_wstring(serial++);
            CZKRBTreeNode* t = reg.Insert(name);
            ASSERT_NE(t, nullptr);
            t->AddFile(L"", name + L"\\f", L"");
            model.push_back(name);
            live.insert(name);
        } else {
            auto it = live.begin();
            std::advance(it, rng() % live.size());
            const std::wstring name = *it;
            ASSERT_TRUE(reg.Remove(name));
            live.erase(it);
            model.erase(std::find(model.begin(), model.end(), name));
            EXPECT_FALSE(reg.Remove(name));
        }
        CheckTree(reg, live.size());
        if (step % 50 == 0) {
            EXPECT_EQ(ArrivalNames(reg), model);
        }
        EXPECT_EQ(reg.fileCount.load(), static_cast<int32_t>(live.size()));
    }
    EXPECT_EQ(ArrivalNames(reg), model);
}

TEST(TaskRegistry, ArrivalOrderIndependentOfDigests) {
    CZKRBTree reg;
    std::vector<std::wstring> names;
    for (int i = 0; i < 40; ++i) names.push_back(L"order " + std::to_wstring(i * 7919 % 101));
    for (auto& n : names) ASSERT_NE(reg.Insert(n), nullptr);
    EXPECT_EQ(ArrivalNames(reg), names);
    ASSERT_TRUE(reg.Remove(names[1]));
    names.erase(names.begin() + 1);
    EXPECT_EQ(ArrivalNames(reg), names);
}

TEST(TaskRegistry, RemovingANodeWithTwoChildrenLeavesOthersIntact) {
    CZKRBTree reg;
    std::vector<std::wstring> names;
    for (int i = 0; i < 64; ++i) {
        names.push_back(L"task-" + std::to_wstring(i));
        CZKRBTreeNode* t = reg.Insert(names.back());
        t->state = i % 7;
        for (int k = 0; k < i % 4 + 1; ++k) {
            CZKListEntry* f = t->AddFile(L"", names.back() + L"\\file" + std::to_wstring(k), L"target" + std::to_wstring(k));
            f->size = static_cast<uint64_t>(i) * 1000 + k + (uint64_t{5} << 30);
            f->state = (i + k) % 6;
            f->sourceInLabel = (k % 2) == 1;
        }
    }
    // Pick a task with two real children.
    const CZKRBTreeNode* victim = nullptr;
    for (auto* t = reg.First(); t; t = t->nextArrival)
        if (t->left != reg.Sentinel() && t->right != reg.Sentinel()) { victim = t; break; }
    ASSERT_NE(victim, nullptr);
    const std::wstring victimName = victim->Name();
    struct Snapshot { std::wstring name; int32_t state; std::vector<std::tuple<std::wstring, std::wstring, uint64_t, int32_t, bool>> files; const CZKRBTreeNode* self; };
    auto snap = [&] {
        std::vector<Snapshot> v;
        for (auto* t = reg.First(); t; t = t->nextArrival) {
            if (t->Name() == victimName) continue;
            Snapshot s{t->Name(), t->state, {}, t};
            for (auto* f = t->Files().First(); f; f = f->next) s.files.emplace_back(f->value, f->label, f->size, f->state, f->sourceInLabel);
            v.push_back(s);
        }
        return v;
    };
    const auto before = snap();
    const int files = reg.fileCount.load();
    const int victimFiles = victim->Files().Count();
    ASSERT_TRUE(reg.Remove(victimName));
    const auto after = snap();
    ASSERT_EQ(before.size(), after.size());
    for (size_t i = 0; i < before.size(); ++i) {
        EXPECT_EQ(before[i].name, after[i].name);
        EXPECT_EQ(before[i].self, after[i].self) << "a task object must keep its identity";
        EXPECT_EQ(before[i].state, after[i].state);
        EXPECT_EQ(before[i].files, after[i].files);
    }
    EXPECT_EQ(reg.fileCount.load(), files - victimFiles);
    CheckTree(reg, 63);
}

TEST(TaskRegistry, FileItemCountersAndEmptyThenReuse) {
    CZKRBTree reg;
    CZKRBTreeNode* t = reg.Insert(L"a");
    CZKListEntry* f1 = t->AddFile(L"", L"1", L"");
    CZKListEntry* f3 = t->AddFile(L"", L"3", L"");
    CZKListEntry* f2 = t->InsertFile(f3, L"", L"2", L"");
    EXPECT_EQ(reg.fileCount.load(), 3);
    EXPECT_EQ(t->RemoveFile(f2), f3);
    EXPECT_EQ(t->RemoveFile(f3), nullptr) << "the last item has no follower";
    EXPECT_EQ(reg.fileCount.load(), 1);
    EXPECT_EQ(t->Files().First(), f1);
    EXPECT_EQ(t->RemoveFile(f1), nullptr);
    EXPECT_EQ(reg.fileCount.load(), 0);
    reg.Insert(L"b")->AddFile(L"", L"x", L"");
    reg.queuedBytes = 77;
    reg.Empty();
    EXPECT_EQ(reg.taskCount.load(), 0);
    EXPECT_EQ(reg.fileCount.load(), 0);
    EXPECT_EQ(reg.queuedBytes.load(), 0);
    EXPECT_EQ(reg.First(), nullptr);
    CZKRBTreeNode* again = reg.Insert(L"a");
    ASSERT_NE(again, nullptr);
    EXPECT_EQ(reg.Root(), again);
    EXPECT_TRUE(again->black);
    CheckTree(reg, 1);
}

TEST(TaskRegistry, ConcurrentInsertRemoveAndWalk) {
    CZKRBTree reg;
    std::atomic<bool> done{false};
    std::atomic<long> walked{0};
    auto worker = [&](int id) {
        for (int i = 0; i < 400; ++i) {
            const std::wstring name = L"w" + std::to_wstring(id) + L"-" + std::to_wstring(i);
            {
                std::lock_guard lock(reg.Mutex());  // re-entrant: Insert takes it again
                CZKRBTreeNode* t = reg.Insert(name);
                ASSERT_NE(t, nullptr);
                t->AddFile(L"", name, L"");
                t->state = kTaskReady;
            }
            if (i % 2 == 0) {
                ASSERT_TRUE(reg.Remove(name));
            }
        }
    };
    std::thread walker([&] {
        while (!done) {
            {
                std::lock_guard lock(reg.Mutex());
                int n = 0;
                for (auto* t = reg.First(); t; t = t->nextArrival) {
                    EXPECT_EQ(t->state, kTaskReady);
                    ++n;
                }
                EXPECT_EQ(n, reg.taskCount.load());
                ++walked;
            }
            // An unfair lock handed straight back to this loop starves the writers (seen under
            // Wine on a loaded machine); a pause between walks lets them in.
            std::this_thread::sleep_for(std::chrono::microseconds(200));
        }
    });
    std::vector<std::thread> ts;
    for (int i = 0; i < 3; ++i) ts.emplace_back(worker, i);
    for (auto& t : ts) t.join();
    done = true;
    walker.join();
    EXPECT_GT(walked.load(), 0);
    CheckTree(reg, 600);
    EXPECT_EQ(reg.fileCount.load(), 600);
}
