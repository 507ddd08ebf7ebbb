#include "update/talvoupdatedlg.h"

#include "framework/log.h"

INT_PTR CTalvoUpdateDlg::DoModal() {
  framework::WriteLog("Update dialog run\n");
  return IDCANCEL;
}
