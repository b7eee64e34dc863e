// The in-place editor. Thread: the main thread.
#include "ui/in_place_editor_win.h"

#include <string>

namespace zk {

bool InPlaceEditor::Create(HWND balloon, HINSTANCE instance) {
    m_parent = balloon;
    m_edit = CreateWindowExW(0, L"EDIT", L"", WS_CHILD | ES_AUTOHSCROLL, 0, 0, 100, 100, balloon,
                             reinterpret_cast<HMENU>(static_cast<UINT_PTR>(kControlId)), instance, nullptr);
    if (!m_edit) return false;
    SetWindowLongPtrW(m_edit, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    m_original = reinterpret_cast<WNDPROC>(SetWindowLongPtrW(m_edit, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&Procedure)));
    return true;
}

void InPlaceEditor::Destroy() {
    if (m_edit && IsWindow(m_edit)) DestroyWindow(m_edit);
    m_edit = nullptr;
    m_editing = nullptr;
}

LRESULT CALLBACK InPlaceEditor::Procedure(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    auto* self = reinterpret_cast<InPlaceEditor*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (msg == WM_ERASEBKGND) return 1;
    if (msg == WM_KEYDOWN && (wp == VK_TAB || wp == VK_RETURN || wp == VK_ESCAPE)) {
        SendMessageW(self->m_parent, WM_KEYDOWN, wp, lp);
        return 0;
    }
    if (msg == WM_CHAR && (wp == L'\t' || wp == L'\r' || wp == 27)) return 0;  // no beep
    return CallWindowProcW(self->m_original, hwnd, msg, wp, lp);
}

void InPlaceEditor::Repaint() const {
    if (m_parent) InvalidateRect(m_parent, nullptr, FALSE);
}

void InPlaceEditor::Open(CZKListEntry* row) {
    if (!row || row->kind != kRowEditable || !m_edit) return;
    m_editing = row;
    LONG_PTR style = GetWindowLongPtrW(m_edit, GWL_STYLE) & ~(ES_RIGHT | ES_CENTER);
    style |= row->ValueAlign() == kAlignRight ? ES_RIGHT : row->ValueAlign() == kAlignCenter ? ES_CENTER : ES_LEFT;
    SetWindowLongPtrW(m_edit, GWL_STYLE, style);
    SendMessageW(m_edit, EM_SETPASSWORDCHAR, row == &m_agent.Rows().userPasswd ? L'*' : 0, 0);
    MoveWindow(m_edit, row->valueRect.left, row->valueRect.top, row->valueRect.right - row->valueRect.left,
               row->valueRect.bottom - row->valueRect.top, TRUE);
    SetWindowTextW(m_edit, row->Value().c_str());
    SendMessageW(m_edit, EM_SETSEL, 0, -1);
    m_modified = false;
    ShowWindow(m_edit, SW_SHOW);
    SetFocus(m_edit);
    Repaint();
}

void InPlaceEditor::Close(bool commit) {
    if (!m_editing) return;
    CZKListEntry* row = m_editing;
    m_editing = nullptr;
    if (commit && m_modified) {
        const int n = GetWindowTextLengthW(m_edit);
        std::wstring text(static_cast<size_t>(n) + 1, L'\0');
        GetWindowTextW(m_edit, text.data(), n + 1);
        text.resize(static_cast<size_t>(n));
        m_agent.Settings().CommitEdit(*row, text);
    }
    m_modified = false;
    ShowWindow(m_edit, SW_HIDE);
    Repaint();
}

void InPlaceEditor::Move(bool backwards) {
    CZKListEntry* from = m_editing;
    Close(true);
    const auto rows = m_agent.Rows().EditableVisibleRows();
    if (rows.empty()) return;
    // With no editor open, Tab starts at the first setting and Shift+Tab at the last.
    size_t next = backwards ? rows.size() - 1 : 0;
    for (size_t i = 0; i < rows.size(); ++i)
        if (rows[i] == from) next = backwards ? (i + rows.size() - 1) % rows.size() : (i + 1) % rows.size();
    Open(rows[next]);
}

void InPlaceEditor::Follow(int dpi) {
    if (!m_edit) return;
    if (m_fontDpi != dpi) {
        m_font.reset(CreateFontW(-ScaleToDpi(balloon96::kEditFont, dpi), 0, 0, 0, FW_BOLD, FALSE, FALSE, FALSE, DEFAULT_CHARSET,
                                 OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, CLEARTYPE_QUALITY, DEFAULT_PITCH, L"Arial"));
        SendMessageW(m_edit, WM_SETFONT, reinterpret_cast<WPARAM>(m_font.get()), FALSE);
        m_fontDpi = dpi;
    }
    if (m_editing) {
        const RectI& r = m_editing->valueRect;
        MoveWindow(m_edit, r.left, r.top, r.right - r.left, r.bottom - r.top, TRUE);
    }
}

void InPlaceEditor::OnTextChanged() {
    if (!m_editing) return;
    wchar_t buf[1024] = {};
    GetWindowTextW(m_edit, buf, 1024);
    m_modified = m_editing->Value() != buf;
}

HBRUSH InPlaceEditor::Colours(HDC dc) const {
    const bool light = m_editing && m_editing->alternate;
    SetTextColor(dc, ToColorref(m_palette.text));
    SetBkColor(dc, ToColorref(light ? m_palette.rowLight : m_palette.rowGrey));
    return light ? m_brushLight.get() : m_brushGrey.get();
}

void InPlaceEditor::SetPalette(const BalloonPalette& palette) {
    m_palette = palette;
    m_brushLight.reset(CreateSolidBrush(ToColorref(palette.rowLight)));
    m_brushGrey.reset(CreateSolidBrush(ToColorref(palette.rowGrey)));
    if (m_edit) InvalidateRect(m_edit, nullptr, TRUE);
}

}  // namespace zk
