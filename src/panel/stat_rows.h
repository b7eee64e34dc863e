// The statistics panel as a model: the 29 named rows, their display list, the pages read from
// string resources, showing a page, the row layout and hit testing. Painting is the window's.
// Row values are replaced from worker threads through CZKListEntry::SetValue (under the row
// list's lock) and read by the painter with Value().
#pragma once
#include <memory>
#include <string>
#include <vector>

#include "panel/queue_rows.h"
#include "tasks/locked_list.h"

namespace zk {

enum RowKind { kRowReadOnly = 0, kRowEditable = 1, kRowTextBlock = 2 };
enum RowAlign { kAlignLeft = 0, kAlignRight = 1, kAlignCenter = 2 };

struct PageSize {
    int width = 300, height = 500;
    std::wstring title;  // empty for the whole table
};

class CStatRows {
public:
    CStatRows();
    CStatRows(const CStatRows&) = delete;
    CStatRows& operator=(const CStatRows&) = delete;

    CZKListEntry authStatus{L"AUTH_STATUS", L"не выполнена", L"Авторизация"};
    CZKListEntry authTimeout{L"AUTH_TIMEOUT", L"", L"Интервал авторизация"};
    CZKListEntry authUrl{L"AUTH_URL", L"", L"Сервер авторизации"};
    CZKListEntry userName{L"USER_NAME", L"", L"Имя пользователя"};
    CZKListEntry userPasswd{L"USER_PASSWD", L"", L"Пароль"};
    CZKListEntry auditPath{L"AUDIT_PATH", L"", L"Папка аудиа"};
    CZKListEntry logsPath{L"LOGS_PATH", L"", L"Папка логов"};
    CZKListEntry ip{L"IP", L"", L"Текущий IP"};
    CZKListEntry mac{L"MAC", L"", L"Текущий MAC"};
    CZKListEntry uploadUrl{L"UPLOAD_URL", L"", L"Сервер загрузки"};
    CZKListEntry authUserName{L"AUTH_USER_NAME", L"", L"HTTP Пользователь"};
    CZKListEntry authUserPasswd{L"AUTH_USER_PASSWD", L"", L"HTTP Пароль"};
    CZKListEntry uid{L"UID", L"", L"UID"};
    CZKListEntry aid{L"AID", L"", L"AID"};
    CZKListEntry tasksSent{L"TASKS_SENT", L"", L"Заданий отправлено"};
    CZKListEntry tasksQueued{L"TASKS_QUEUED", L"", L"Заданий в очереди"};
    CZKListEntry filesSent{L"FILES_SENT", L"", L"Файлов отправлено"};
    CZKListEntry filesQueued{L"FILES_QUEUED", L"", L"Файлов в очереди"};
    CZKListEntry queueSize{L"QUEUE_SIZE", L"", L"Размер очереди (КБ)"};
    CZKListEntry kbytesSent{L"KBYTES_SENT", L"", L"Всего отправлено (КБ)"};
    CZKListEntry currentFile{L"CURRENT_FILE", L"", L"Текущий файл"};
    CZKListEntry currentTask{L"CURRENT_TASK", L"", L"Текущее задание"};
    CZKListEntry errorsCount{L"ERRORS_COUNT", L"", L"Кол-во ошибок"};
    CZKListEntry lastError{L"LAST_ERROR", L"", L"Последняя ошибка"};
    CZKListEntry bandwidth{L"BANDWIDTH", L"", L"Скорость соед. (Кбт/сек)"};
    CZKListEntry deadlineForecast{L"DEADLINE_FORECAST", L"", L"Время окончания"};
    CZKListEntry fileTypes{L"FILE_TYPES", L"", L"Расширения"};
    CZKListEntry uploadChunkSize{L"UPLOAD_CHUNK_SIZE", L"", L"Макс. размер файла (МБ)"};
    CZKListEntry notifyDone{L"NOTIFY_DONE", L"да", L"Сообщать об отправке"};

    // Puts the 29 rows into the display list in their order with their attributes, then the
    // queue page's rows, which the whole table does not show.
    void EnterDisplayList();
    CZKLockedList& Rows() { return m_rows; }
    // The first row whose key equals `key` without regard to case, or null.
    CZKListEntry* FindByKey(const std::wstring& key);

    // Page resources: "{title}{width|height}{body}". False for a malformed text.
    bool AddPage(const std::wstring& resourceText);
    CZKLockedList& Pages() { return m_pages; }
    [[nodiscard]] int PageCount() const { return m_pages.Count(); }
    [[nodiscard]] int CurrentPage() const { return m_currentPage; }
    // Shows page n (0 or out of range: the whole table at 300 x 500); gives the window size.
    PageSize ShowPage(int n);
    // The first page whose body lists every one of `keys` (ignoring case), or 0.
    [[nodiscard]] int PageWith(const std::vector<std::wstring>& keys);

    // The queue page's rows ("QUEUE_1" ... "QUEUE_13"): one per order, then the rest counted.
    // The page lists all of them; those without an order stay empty.
    void SetQueue(const std::vector<QueueRow>& rows);
    // Whether the page shown has the queue on it (then its rows are worth refreshing).
    [[nodiscard]] bool QueueShown();
    static constexpr size_t kQueueRows = kQueueRowsShown + 1;

    // A message of the program's own to the user in the last-error row (a refused edit, a folder
    // that is missing). ClearNotice empties the row only while it still shows that message, so
    // that an error of the session written since stays.
    void ShowNotice(const std::wstring& text);
    void ClearNotice();

    // Places the visible rows in a table area of the given width starting at (left, top); the
    // rows' own lengths are 96-DPI lengths scaled to `dpi`.
    void Layout(int left, int top, int width, int dpi = 96);
    // The visible rows as "label<TAB>value" lines (CR LF), the password masked: what support
    // staff ask a customer to read out.
    std::wstring PageText();
    // The first visible row whose label or value rectangle holds the point.
    CZKListEntry* HitTest(int x, int y, bool* onValue);
    // Visible editable rows in display order (for Tab and Shift+Tab).
    std::vector<CZKListEntry*> EditableVisibleRows();

    static constexpr int kRowHeight = 22;
    static constexpr int kTextBlockHeight = 40;

private:
    std::vector<CZKListEntry*> AllRows();
    [[nodiscard]] bool IsQueueRow(const CZKListEntry* e) const;

    std::vector<std::unique_ptr<CZKListEntry>> m_queue;
    CZKLockedList m_rows;
    CZKLockedList m_pages;
    int m_currentPage = 0;
    std::wstring m_notice;  // guarded by the row list's lock
};

}  // namespace zk
