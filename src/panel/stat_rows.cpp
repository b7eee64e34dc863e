#include "panel/stat_rows.h"

#include <algorithm>
#include <cwctype>

#include "base/utf16.h"
#include "panel/balloon_geometry.h"

namespace zk {
namespace {

struct Attr {
    int align, trim, kind;
};

bool ParseNumber(const std::wstring& s, int& out) {
    if (s.empty() || s.size() > 6) return false;
    out = 0;
    for (wchar_t c : s) {
        if (c < L'0' || c > L'9') return false;
        out = out * 10 + (c - L'0');
    }
    return true;
}

// The next "{...}" group of `text` from `pos`.
bool NextGroup(const std::wstring& text, size_t& pos, std::wstring& group) {
    const size_t open = text.find(L'{', pos);
    if (open == std::wstring::npos) return false;
    const size_t close = text.find(L'}', open + 1);
    if (close == std::wstring::npos) return false;
    group = text.substr(open + 1, close - open - 1);
    pos = close + 1;
    return true;
}

// A page body's tokens, split at "|".
std::vector<std::wstring> BodyTokens(const std::wstring& body) {
    std::vector<std::wstring> tokens;
    size_t start = 0;
    while (start <= body.size()) {
        size_t bar = body.find(L'|', start);
        if (bar == std::wstring::npos) bar = body.size();
        tokens.push_back(body.substr(start, bar - start));
        start = bar + 1;
    }
    return tokens;
}

}  // namespace

CStatRows::CStatRows() {
    for (size_t i = 1; i <= kQueueRows; ++i) m_queue.push_back(std::make_unique<CZKListEntry>(L"QUEUE_" + std::to_wstring(i), L"", L""));
}

bool CStatRows::IsQueueRow(const CZKListEntry* e) const {
    return std::any_of(m_queue.begin(), m_queue.end(), [e](const auto& q) { return q.get() == e; });
}

void CStatRows::SetQueue(const std::vector<QueueRow>& rows) {
    std::lock_guard lock(m_rows.Mutex());
    for (size_t i = 0; i < m_queue.size(); ++i) {
        const QueueRow row = i < rows.size() ? rows[i] : QueueRow{};
        m_queue[i]->label = row.label;
        m_queue[i]->value = row.value;
    }
}

bool CStatRows::QueueShown() {
    std::lock_guard lock(m_rows.Mutex());
    return m_currentPage > 0 && std::any_of(m_queue.begin(), m_queue.end(), [](const auto& q) { return q->visible; });
}

std::vector<CZKListEntry*> CStatRows::AllRows() {
    return {&authStatus, &authTimeout, &authUrl,   &userName,   &userPasswd,   &uploadUrl,   &authUserName,
            &authUserPasswd, &uid,     &aid,       &ip,         &mac,          &fileTypes,   &auditPath,
            &logsPath,   &tasksSent,   &tasksQueued, &filesSent, &filesQueued, &queueSize,   &kbytesSent,
            &currentFile, &currentTask, &bandwidth, &deadlineForecast, &uploadChunkSize, &notifyDone, &errorsCount, &lastError};
}

void CStatRows::EnterDisplayList() {
    const Attr attrs[] = {{0, 0, 0}, {1, 0, 1}, {0, 0, 1}, {0, 0, 1}, {0, 0, 1}, {0, 0, 0}, {0, 0, 0}, {0, 0, 0}, {0, 0, 0}, {0, 0, 0},
                          {0, 0, 0}, {0, 0, 0}, {0, 0, 1}, {0, 1, 1}, {0, 1, 1}, {1, 0, 0}, {1, 0, 0}, {1, 0, 0}, {1, 0, 0}, {1, 0, 0},
                          {1, 0, 0}, {0, 1, 0}, {0, 1, 0}, {1, 0, 0}, {1, 0, 0}, {1, 0, 1}, {1, 0, 1}, {1, 0, 0}, {0, 0, 2}};
    const auto rows = AllRows();
    for (size_t i = 0; i < rows.size(); ++i) {
        rows[i]->SetRowLook(attrs[i].align, attrs[i].trim);
        rows[i]->kind = attrs[i].kind;
        m_rows.AppendNotOwned(rows[i]);
    }
    for (const auto& q : m_queue) {
        q->visible = false;
        m_rows.AppendNotOwned(q.get());
    }
}

CZKListEntry* CStatRows::FindByKey(const std::wstring& key) {
    if (key.empty()) return nullptr;
    std::lock_guard lock(m_rows.Mutex());
    for (CZKListEntry* e = m_rows.First(); e; e = e->next)
        if (EqualsNoCase(e->key, key) && !IsQueueRow(e)) return e;  // the queue's rows are no setting
    for (CZKListEntry* e : AllRows())
        if (EqualsNoCase(e->key, key)) return e;
    return nullptr;
}

bool CStatRows::AddPage(const std::wstring& text) {
    size_t pos = 0;
    std::wstring title, size, body;
    if (!NextGroup(text, pos, title) || !NextGroup(text, pos, size)) return false;
    // The body may hold any text up to the last closing brace.
    const size_t open = text.find(L'{', pos);
    const size_t close = text.rfind(L'}');
    if (open == std::wstring::npos || close == std::wstring::npos || close < open) return false;
    body = text.substr(open + 1, close - open - 1);
    const size_t bar = size.find(L'|');
    int width = 0, height = 0;
    if (bar == std::wstring::npos || !ParseNumber(size.substr(0, bar), width) || !ParseNumber(size.substr(bar + 1), height))
        return false;
    CZKListEntry* page = m_pages.Append(L"", title, body);
    if (!page) return false;
    page->SetPageSize(width, height);
    page->index = m_pages.Count();
    return true;
}

PageSize CStatRows::ShowPage(int n) {
    std::lock_guard lock(m_rows.Mutex());
    CZKListEntry* page = nullptr;
    for (CZKListEntry* p = m_pages.First(); p; p = p->next)
        if (p->index == n) page = p;
    if (n <= 0 || !page) {
        m_currentPage = 0;
        for (CZKListEntry* e = m_rows.First(); e; e = e->next) e->visible = !IsQueueRow(e);
        return {};
    }
    PageSize size{page->PageWidth(), page->PageHeight(), page->value};
    if (m_currentPage == n) return size;
    m_currentPage = n;
    for (CZKListEntry* e = m_rows.First(); e; e = e->next) e->visible = false;
    CZKListEntry* previous = nullptr;
    for (const std::wstring& token : BodyTokens(page->label)) {
        CZKListEntry* row = nullptr;
        for (CZKListEntry* e = m_rows.First(); e && !row; e = e->next)
            if (!e->key.empty() && EqualsNoCase(e->key, token)) row = e;
        if (!row) {
            // Free text becomes a text block of its own, made once per page token.
            for (CZKListEntry* e = m_rows.First(); e && !row; e = e->next)
                if (e->key.empty() && e->kind == kRowTextBlock && e->value == token) row = e;
            if (!row) {
                row = m_rows.Append(L"", token, token);
                if (!row) continue;
                row->kind = kRowTextBlock;
            }
        }
        row->visible = true;
        m_rows.MoveAfter(row, previous);
        previous = row;
    }
    return size;
}

int CStatRows::PageWith(const std::vector<std::wstring>& keys) {
    std::lock_guard lock(m_pages.Mutex());
    for (CZKListEntry* p = m_pages.First(); p; p = p->next) {
        const std::vector<std::wstring> tokens = BodyTokens(p->label);
        const auto listed = [&](const std::wstring& key) {
            return std::any_of(tokens.begin(), tokens.end(), [&](const std::wstring& t) { return EqualsNoCase(t, key); });
        };
        if (std::all_of(keys.begin(), keys.end(), listed)) return p->index;
    }
    return 0;
}

void CStatRows::ShowNotice(const std::wstring& text) {
    std::lock_guard lock(m_rows.Mutex());
    m_notice = text;
    lastError.SetValue(text);
}

void CStatRows::ClearNotice() {
    std::lock_guard lock(m_rows.Mutex());
    if (!m_notice.empty() && lastError.Value() == m_notice) lastError.SetValue(L"");
    m_notice.clear();
}

void CStatRows::Layout(int left, int top, int width, int dpi) {
    std::lock_guard lock(m_rows.Mutex());
    int y = top + ScaleToDpi(7, dpi);
    bool alternate = false;
    const int middle = left + width / 2, inset = ScaleToDpi(3, dpi);
    const int rowHeight = ScaleToDpi(kRowHeight, dpi), blockHeight = ScaleToDpi(kTextBlockHeight, dpi);
    for (CZKListEntry* e = m_rows.First(); e; e = e->next) {
        if (!e->visible) continue;
        const int h = e->kind == kRowTextBlock ? blockHeight : rowHeight;
        e->alternate = alternate;
        alternate = !alternate;
        e->labelRect = {left + inset, y, middle, y + h};
        e->valueRect = {middle, y, left + width - inset, y + h};
        y += h;
    }
}

std::wstring CStatRows::PageText() {
    std::lock_guard lock(m_rows.Mutex());
    std::wstring text;
    for (CZKListEntry* e = m_rows.First(); e; e = e->next) {
        // A page's free text is no figure; a queue row without an order is nothing.
        if (!e->visible || e->key.empty() || (e->label.empty() && e->value.empty())) continue;
        text += e->label + L"\t" + (e == &userPasswd ? std::wstring(L"*****") : e->value) + L"\r\n";
    }
    return text;
}

CZKListEntry* CStatRows::HitTest(int x, int y, bool* onValue) {
    std::lock_guard lock(m_rows.Mutex());
    for (CZKListEntry* e = m_rows.First(); e; e = e->next) {
        if (!e->visible) continue;
        if (e->labelRect.Contains(x, y)) {
            if (onValue) *onValue = false;
            return e;
        }
        if (e->valueRect.Contains(x, y)) {
            if (onValue) *onValue = true;
            return e;
        }
    }
    return nullptr;
}

std::vector<CZKListEntry*> CStatRows::EditableVisibleRows() {
    std::lock_guard lock(m_rows.Mutex());
    std::vector<CZKListEntry*> v;
    for (CZKListEntry* e = m_rows.First(); e; e = e->next)
        if (e->visible && e->kind == kRowEditable) v.push_back(e);
    return v;
}

}  // namespace zk
