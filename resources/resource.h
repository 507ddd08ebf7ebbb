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

// Skin of the update window: pictures in skin/, drawn by skin/draw_skin.py. The skinned controls
// (ui/) load the row images, the row and start button faces and the progress block by these names.
#define IDI_ROW_SERVERLIST 129        // list row image: server list
#define IDI_ROW_SPARE 130             // list row image: spare
#define IDI_ROW_PROGRAM 131           // list row image: client program, login engine, options
#define IDI_ROW_FILTER 132            // list row image: search-word filter data
#define IDB_BACKGROUND 133            // window background, 500 x 409, magenta where the desktop shows
#define IDB_ROW_UNCHECKED 134         // list row check box, 13 x 13
#define IDB_ROW_CHECKED 135
#define IDB_ROW_LOCKED 136
#define IDB_START_CLOSE_HOVER 137     // start button, close look, 79 x 21
#define IDB_START_UPDATE_NORMAL 138   // start button, update look, 74 x 20
#define IDB_START_UPDATE_PRESSED 139
#define IDB_START_UPDATE_HOVER 140
#define IDB_START_CLOSE_NORMAL 141
#define IDB_START_CLOSE_PRESSED 142
#define IDB_PROGRESS_BLOCK 147        // one block of the progress bar, 5 x 10
#define IDB_CLOSE_HOVER 152           // window-close button, 13 x 13
#define IDB_CLOSE_NORMAL 153
#define IDB_CLOSE_PRESSED 154
#define IDB_PROGRESS_BACKGROUND 166   // progress bar background, 459 x 14
#define IDB_SCROLL_SKIN 172           // scroll bar skin, nine 17 x 17 squares
