// Resource identifiers of TalvoUpdate.exe.
#pragma once

#define IDS_ABOUTBOX 101            // system menu item of the About box
#define IDS_SOCKET_INIT_FAILED 103  // Windows Sockets start-up failed
#define IDS_INFORMATION_URL 104     // information request stem, ends in "?ver="
#define IDS_CLIENT_PATH 105         // the client program, with path macros
#define IDS_UPDATE_HOST 107         // update server host probed on port 80

#define IDI_TALVOUPDATE 128
