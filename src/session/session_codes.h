// Event codes and error codes of the server session, and its fixed texts.
#pragma once
#include <cstddef>
#include <string_view>

namespace zk {

enum AuthEvent { kAuthFailed = 0, kAuthBegin = 1, kAuthBlockRead = 2, kAuthSucceeded = 3 };

enum TransferEvent {
    kTransferFailed = 0,
    kTransferBegin = 1,
    kTransferStep = 2,
    kTransferAccepted = 3,
    kTransferReauth = 4,
    kTransferDeleted = 5,
    kTransferTaskBegin = 6,
    kTransferTaskDone = 7,
    kTransferTaskStopped = 8,
    kTransferTaskRemoved = 9,
    // Beyond the session's own table: the current task steps aside after failing again and
    // again (SessionSnapshot::setAside says which, why and when it is tried next).
    kTransferTaskAside = 10,
};

enum SessionError {
    kErrStopped = 1001,
    kErrNoCredentials = 1002,  // also "not authenticated"
    kErrFileNotFound = 1003,
    kErrDescriptor = 1004,
    kErrFileUnreadable = 1005,
    kErrServerAnswer = 1006,
    // Beyond the session's own table; both count as transient failures.
    kErrAnswerTooLong = 1007,
    kErrInternal = 1008,
    kErrPaused = 1009,  // the person paused the sending: no failure of the file or the server
    kErrServerRefused = 403,
};

inline constexpr const wchar_t* kTextStopped = L"Процесс прерван пользователем";
inline constexpr const wchar_t* kTextNoCredentials = L"Не определены имя пользователя или пароль";
inline constexpr const wchar_t* kTextNotAuthenticated = L"Аутентификация не выполнена";
inline constexpr const wchar_t* kTextFileNotFound = L"Файл не найден: ";
inline constexpr const wchar_t* kTextDescriptor = L"Невозможно создать дескриптор";
inline constexpr const wchar_t* kTextFileUnreadable = L"Невозможно прочитать файл: ";
inline constexpr const wchar_t* kTextAnswerTooLong = L"Ответ сервера длиннее 1 МБ";
inline constexpr const wchar_t* kTextInternal = L"Внутренняя ошибка: ";
inline constexpr const wchar_t* kTextPaused = L"Отправка приостановлена";

inline constexpr unsigned kSessionCodePage = 1251;
inline constexpr const wchar_t* kUserAgent = L"ZKUploader 2.0";
inline constexpr unsigned kReadBlock = 10241;
// Time-outs of every request: a server that stops answering (a half-open connection after a
// change of network) fails the request as a transient error instead of stalling the loop. Send
// and receive count from the last progress.
inline constexpr unsigned kConnectTimeoutMs = 30000;
inline constexpr unsigned kSendTimeoutMs = 60000;
inline constexpr unsigned kReceiveTimeoutMs = 60000;
// The longest answer read; an "OK" or an identity fits many times over.
inline constexpr size_t kAnswerLimit = 1 << 20;
inline constexpr const wchar_t* kContentListMarker = L"_content_";
// Whether `path` names a content list: by the file's own name, never by its folders' (an order
// folder may well be named "..._content_1").
inline bool IsContentListPath(std::wstring_view path) {
    const size_t sep = path.find_last_of(L"\\/");
    return path.substr(sep == std::wstring_view::npos ? 0 : sep + 1).find(kContentListMarker) != std::wstring_view::npos;
}

}  // namespace zk
