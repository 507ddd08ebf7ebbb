// The one application object of TalvoUpdate.exe.
#include "app/talvoupdate.h"

CTalvoUpdateApp theApp;
