// The settings page as the program ships it, shared with the window tests' resources so that
// they drive this very page. UTF-8: included after "#pragma code_page(65001)".
#pragma once

// Title, 96-DPI size (every label and a full-length value of each unshortened row fit), the
// one-line explanation, the settings in the order an administrator fills them in, then what
// the server made of them: the login's status and the identity it knows the agent by. The
// last-error row says why an edit was refused.
#define SETTINGS_PAGE_TEXT "{Настройки}{420|462}{Щёлкните значение, чтобы изменить его; Enter сохраняет, Esc отменяет.|AUTH_URL|USER_NAME|USER_PASSWD|LOGS_PATH|FILE_TYPES|AUDIT_PATH|UPLOAD_CHUNK_SIZE|AUTH_TIMEOUT|NOTIFY_DONE|AUTH_STATUS|IP|MAC|UID|AID|LAST_ERROR}"
