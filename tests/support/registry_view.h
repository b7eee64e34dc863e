// Reading the task registry under its lock, for the tests.
#pragma once
#include <string>
#include <vector>

#include "tasks/task_registry.h"

namespace zk::test {

struct ItemView {
    std::wstring value, label;
    uint64_t size;
    int32_t state;
    bool sourceInLabel;
};

inline int TaskStateOf(CZKRBTree& reg, const std::wstring& name) {
    std::lock_guard lock(reg.Mutex());
    CZKRBTreeNode* t = reg.Find(name);
    return t ? t->state : -1;
}

inline std::vector<ItemView> ItemsOf(CZKRBTree& reg, const std::wstring& name) {
    std::lock_guard lock(reg.Mutex());
    std::vector<ItemView> v;
    if (CZKRBTreeNode* t = reg.Find(name))
        for (auto* f = t->Files().First(); f; f = f->next) v.push_back({f->value, f->label, f->size, f->state, f->sourceInLabel});
    return v;
}

}  // namespace zk::test
