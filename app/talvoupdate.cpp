#include "app/talvoupdate.h"

CTalvoUpdateApp::CTalvoUpdateApp() = default;

BOOL CTalvoUpdateApp::InitInstance() {
  // The whole run happens here; FALSE ends the process when it is over.
  return FALSE;
}
