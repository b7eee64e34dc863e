// The balloon's in-place editor: an EDIT control laid over an editable row's value. Enter commits,
// Escape drops the edit, Tab and Shift+Tab go on to the next or previous setting; the balloon
// hands it those keys and its clicks.
// Thread: the main thread.
#pragma once
#include <windows.h>

#include "app/agent.h"
#include "base/win_handles.h"
#include "ui/balloon_painter_win.h"

namespace zk {

class InPlaceEditor {
public:
    static constexpr UINT kControlId = 1001;

    explicit InPlaceEditor(CAgent& agent) : m_agent(agent) {}
    ~InPlaceEditor() { Destroy(); }
    InPlaceEditor(const InPlaceEditor&) = delete;
    InPlaceEditor& operator=(const InPlaceEditor&) = delete;

    // The hidden control, a child of the balloon; false when it cannot be made.
    bool Create(HWND balloon, HINSTANCE instance);
    void Destroy();
    [[nodiscard]] HWND Handle() const { return m_edit; }
    // The row being edited, or null.
    [[nodiscard]] CZKListEntry* Editing() const { return m_editing; }

    void Open(CZKListEntry* row);
    // Ends the edit; with `commit` a changed text goes to the settings.
    void Close(bool commit);
    // Commits and opens the next (previous) editable row of the page, round the end.
    void Move(bool backwards);
    // The font of the balloon's DPI, and the control over its row's value after a layout.
    void Follow(int dpi);
    // The control's text changed (EN_UPDATE).
    void OnTextChanged();
    // The colours of the row under it (WM_CTLCOLOREDIT): sets them on `dc`, gives the brush.
    HBRUSH Colours(HDC dc) const;
    void SetPalette(const BalloonPalette& palette);

private:
    static LRESULT CALLBACK Procedure(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);
    void Repaint() const;

    CAgent& m_agent;
    HWND m_parent = nullptr;
    HWND m_edit = nullptr;  // a child of the balloon: gone with it, or destroyed by Destroy()
    WNDPROC m_original = nullptr;
    UniqueHfont m_font;
    int m_fontDpi = 0;
    CZKListEntry* m_editing = nullptr;
    bool m_modified = false;
    BalloonPalette m_palette{};
    UniqueHbrush m_brushLight, m_brushGrey;
};

}  // namespace zk
