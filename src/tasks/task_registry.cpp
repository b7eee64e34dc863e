#include "tasks/task_registry.h"

#include <new>

#include "base/fsys.h"

namespace zk {

// ---- task ----

CZKRBTreeNode::CZKRBTreeNode(std::wstring name, const Digest* digest, CZKRBTree* reg, bool isBlack)
    : registry(reg), black(isBlack), m_name(std::move(name)) {
    if (digest) m_digest = *digest; else (void)NameDigest(m_name, m_digest);
}

CZKRBTreeNode::~CZKRBTreeNode() { m_files.Empty(); }

CZKListEntry* CZKRBTreeNode::AddFile(std::wstring key, std::wstring value, std::wstring label) {
    return InsertFile(nullptr, std::move(key), std::move(value), std::move(label));
}

CZKListEntry* CZKRBTreeNode::InsertFile(CZKListEntry* before, std::wstring key, std::wstring value, std::wstring label) {
    CZKListEntry* e = m_files.InsertBefore(before, std::move(key), std::move(value), std::move(label));
    if (e && registry) ++registry->fileCount;
    return e;
}

CZKListEntry* CZKRBTreeNode::RemoveFile(CZKListEntry* item) {
    if (!item) return nullptr;
    CZKListEntry* next;
    {
        std::lock_guard lock(m_files.Mutex());
        next = item->next;
        m_files.Remove(item);
    }
    if (registry) --registry->fileCount;
    return next;
}

// ---- registry ----

int CZKRBTree::CompareDigests(const Digest& a, const Digest& b) {
    auto half = [](const Digest& d, int from) {
        uint64_t v = 0;
        for (int i = 7; i >= 0; --i) v = (v << 8) | d[from + i];
        return static_cast<int64_t>(v);
    };
    const int64_t ha = half(a, 0), hb = half(b, 0);
    if (ha != hb) return ha < hb ? -1 : 1;
    const int64_t la = half(a, 8), lb = half(b, 8);
    if (la != lb) return la < lb ? -1 : 1;
    return 0;
}

CZKRBTree::CZKRBTree() {
    m_nil = new CZKRBTreeNode(std::wstring(), nullptr, this, true);
    m_nil->parent = m_nil->left = m_nil->right = m_nil;
    m_root = m_nil;
}

CZKRBTree::~CZKRBTree() {
    Empty();
    delete m_nil;
}

namespace {
// The child on a side, and the other side's: the fix-ups are written once for a node's parent
// on its grandparent's left, and run mirrored for the right by swapping the two.
using Side = CZKRBTreeNode* CZKRBTreeNode::*;
constexpr Side Other(Side side) { return side == &CZKRBTreeNode::left ? &CZKRBTreeNode::right : &CZKRBTreeNode::left; }
}  // namespace

void CZKRBTree::Rotate(CZKRBTreeNode* x, Side side) {
    const Side other = Other(side);
    CZKRBTreeNode* y = x->*other;
    x->*other = y->*side;
    if (y->*side != m_nil) (y->*side)->parent = x;
    y->parent = x->parent;
    if (x->parent == m_nil) m_root = y;
    else if (x == x->parent->*side) x->parent->*side = y;
    else x->parent->*other = y;
    y->*side = x;
    x->parent = y;
}

void CZKRBTree::InsertFixup(CZKRBTreeNode* z) {
    while (!z->parent->black) {
        CZKRBTreeNode* gp = z->parent->parent;
        const Side near = z->parent == gp->left ? &CZKRBTreeNode::left : &CZKRBTreeNode::right, far = Other(near);
        CZKRBTreeNode* y = gp->*far;
        if (!y->black) {
            z->parent->black = true;
            y->black = true;
            gp->black = false;
            z = gp;
        } else {
            if (z == z->parent->*far) {
                z = z->parent;
                Rotate(z, near);
            }
            z->parent->black = true;
            z->parent->parent->black = false;
            Rotate(z->parent->parent, far);
        }
    }
    m_root->black = true;
}

CZKRBTreeNode* CZKRBTree::Insert(const std::wstring& name) {
    std::lock_guard lock(m_mutex);
    const Digest d = NameDigestOf(name);
    CZKRBTreeNode* parent = m_nil;
    CZKRBTreeNode* cur = m_root;
    int cmp = 0;
    while (cur != m_nil) {
        cmp = CompareDigests(d, cur->GetDigest());
        if (cmp == 0) return nullptr;
        parent = cur;
        cur = cmp < 0 ? cur->left : cur->right;
    }
    auto* z = new (std::nothrow) CZKRBTreeNode(name, &d, this, m_root == m_nil);
    if (!z) return nullptr;
    z->parent = parent;
    z->left = z->right = m_nil;
    if (parent == m_nil) m_root = z;
    else if (cmp < 0) parent->left = z;
    else parent->right = z;
    // arrival chain
    z->prevArrival = m_last;
    if (m_last) m_last->nextArrival = z; else m_first = z;
    m_last = z;
    if (parent != m_nil) InsertFixup(z);
    ++taskCount;
    return z;
}

CZKRBTreeNode* CZKRBTree::FindLocked(const Digest& d) const {
    CZKRBTreeNode* cur = m_root;
    while (cur != m_nil) {
        const int cmp = CompareDigests(d, cur->GetDigest());
        if (cmp == 0) return cur;
        cur = cmp < 0 ? cur->left : cur->right;
    }
    return nullptr;
}

CZKRBTreeNode* CZKRBTree::Find(const std::wstring& name) const {
    std::lock_guard lock(m_mutex);
    return FindLocked(NameDigestOf(name));
}

void CZKRBTree::Transplant(CZKRBTreeNode* u, CZKRBTreeNode* v) {
    if (u->parent == m_nil) m_root = v;
    else if (u == u->parent->left) u->parent->left = v;
    else u->parent->right = v;
    v->parent = u->parent;
}

void CZKRBTree::DeleteFixup(CZKRBTreeNode* x) {
    while (x != m_root && x->black) {
        const Side near = x == x->parent->left ? &CZKRBTreeNode::left : &CZKRBTreeNode::right, far = Other(near);
        CZKRBTreeNode* w = x->parent->*far;
        if (!w->black) {
            w->black = true;
            x->parent->black = false;
            Rotate(x->parent, near);
            w = x->parent->*far;
        }
        if ((w->*near)->black && (w->*far)->black) {
            w->black = false;
            x = x->parent;
        } else {
            if ((w->*far)->black) {
                (w->*near)->black = true;
                w->black = false;
                Rotate(w, far);
                w = x->parent->*far;
            }
            w->black = x->parent->black;
            x->parent->black = true;
            (w->*far)->black = true;
            Rotate(x->parent, near);
            x = m_root;
        }
    }
    x->black = true;
}

bool CZKRBTree::Remove(const std::wstring& name) {
    std::lock_guard lock(m_mutex);
    if (m_root == m_nil) return false;
    CZKRBTreeNode* z = FindLocked(NameDigestOf(name));
    if (!z) return false;

    CZKRBTreeNode* y = z;
    bool yWasBlack = y->black;
    CZKRBTreeNode* x;
    if (z->left == m_nil) {
        x = z->right;
        Transplant(z, z->right);
    } else if (z->right == m_nil) {
        x = z->left;
        Transplant(z, z->left);
    } else {
        y = z->right;
        while (y->left != m_nil) y = y->left;
        yWasBlack = y->black;
        x = y->right;
        if (y->parent == z) {
            x->parent = y;
        } else {
            Transplant(y, y->right);
            y->right = z->right;
            y->right->parent = y;
        }
        Transplant(z, y);
        y->left = z->left;
        y->left->parent = y;
        y->black = z->black;
    }
    if (yWasBlack) DeleteFixup(x);
    // The sentinel's links may have been used as scratch; restore them.
    m_nil->parent = m_nil->left = m_nil->right = m_nil;
    m_nil->black = true;

    if (z->prevArrival) z->prevArrival->nextArrival = z->nextArrival; else m_first = z->nextArrival;
    if (z->nextArrival) z->nextArrival->prevArrival = z->prevArrival; else m_last = z->prevArrival;
    --taskCount;
    fileCount -= z->Files().Count();
    delete z;
    return true;
}

void CZKRBTree::Empty() {
    std::lock_guard lock(m_mutex);
    // Every task is in the arrival chain exactly once, so walking it frees the whole tree.
    CZKRBTreeNode* t = m_first;
    while (t) {
        CZKRBTreeNode* next = t->nextArrival;
        delete t;
        t = next;
    }
    m_root = m_nil;
    m_first = m_last = nullptr;
    taskCount = 0;
    fileCount = 0;
    queuedBytes = 0;
    waitingTasks = 0;
}

void CZKRBTree::AddWorkListener(WakeSignal* listener) {
    std::lock_guard lock(m_mutex);
    m_listeners.push_back(listener);
}

void CZKRBTree::RemoveWorkListener(WakeSignal* listener) {
    std::lock_guard lock(m_mutex);
    std::erase(m_listeners, listener);
}

CZKRBTree::Dealt CZKRBTree::DeleteDealtWith(const std::wstring& path, const FileIdentity* dealt) {
    FileIdentity found;
    switch (DeleteIfSame(path, dealt, &found)) {
        case DeleteOutcome::Deleted: return Dealt::Deleted;
        case DeleteOutcome::Changed: return Dealt::Changed;
        case DeleteOutcome::Refused: break;
    }
    std::lock_guard lock(m_mutex);
    m_ledger.RecordUndeleted(path, dealt ? *dealt : found);
    return Dealt::Recorded;
}

void CZKRBTree::KeepDealtWith(const std::wstring& path) {
    FileIdentity now;
    (void)IdentityOf(path, now);  // all zero when unreadable: then it is kept while it stays so
    std::lock_guard lock(m_mutex);
    m_ledger.RecordUndeleted(path, now);
}

CZKRBTree::Dealt CZKRBTree::DeleteUndeleted(const std::wstring& path) {
    const FileIdentity* recorded = m_ledger.Undeleted(path);
    if (!recorded) return Dealt::Changed;
    Dealt dealt = Dealt::Changed;
    if (*recorded == FileIdentity{}) {
        // One whose identity was never known is only ever kept, never deleted.
        if (IsUndeletedNow(path)) return Dealt::Recorded;
    } else {
        const FileIdentity version = *recorded;
        switch (DeleteIfSame(path, &version)) {
            case DeleteOutcome::Refused: return Dealt::Recorded;
            case DeleteOutcome::Deleted: dealt = Dealt::Deleted; break;
            case DeleteOutcome::Changed: break;
        }
    }
    m_ledger.ForgetUndeleted(path);
    return dealt;
}

bool CZKRBTree::IsUndeletedNow(const std::wstring& path) const {
    const FileIdentity* recorded = m_ledger.Undeleted(path);
    if (!recorded || !PathExists(path)) return false;
    FileIdentity now;
    (void)IdentityOf(path, now);
    return now == *recorded;
}

void CZKRBTree::NotifyWork() {
    std::lock_guard lock(m_mutex);
    for (WakeSignal* listener : m_listeners) listener->Raise();
}

}  // namespace zk
