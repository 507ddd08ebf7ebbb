// Resource identifiers of TalvoUpdate.exe.
#pragma once

// The update window and its companions: templates, pages and the update window's controls.
#define IDD_ABOUTBOX 100            // About box
#define IDD_TALVOUPDATE_DIALOG 102  // update window
#define IDR_HTML_UPDATEWEB 109      // placeholder page of the banner strip
#define IDD_UPDATEWEB 168           // banner strip (child dialog hosting the browser control)
#define IDM_ABOUTBOX 0x0010         // system menu command of the About box
#define IDC_COMPONENT_LIST 1001
#define IDC_START 1002
#define IDC_PROGRESS 1009
#define IDC_STATUS 1013
#define IDC_COUNTER 1014
#define IDC_CLOSE_BUTTON 1017
#define IDC_NOTICE 1019

#define IDS_ABOUTBOX 101            // system menu item of the About box
#define IDS_SOCKET_INIT_FAILED 103  // Windows Sockets start-up failed
#define IDS_INFORMATION_URL 104     // information request stem, ends in "?ver="
#define IDS_CLIENT_PATH 105         // the client program, with path macros
#define IDS_UPDATE_HOST 107         // update server host probed on port 80

#define IDI_TALVOUPDATE 128
