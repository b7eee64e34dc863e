// Identifiers of the program's resources.
#pragma once

#define IDI_AGENT 104
#define IDI_AGENT_SMALL 105
#define IDI_TRAY_SENDING 106
#define IDI_TRAY_ATTENTION 107
#define IDS_AGENT_CLASS 800
#define IDS_VERSION 801
#define IDS_SHOW_AT_START 802
#define IDS_AUTH_URL 900
#define IDS_USER_NAME 901
#define IDS_PASSWORD 902
#define IDS_FILE_TYPES 903
#define IDS_CHUNK_SIZE 904
#define IDS_AUTH_TIMEOUT 905
#define IDS_PAGE_FIRST 1000
#define IDS_PAGE_SETTINGS 1001
