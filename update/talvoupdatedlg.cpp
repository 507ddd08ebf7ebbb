#include "update/talvoupdatedlg.h"

#include "catalogue/projectdata.h"
#include "framework/log.h"
#include "update/installscript.h"

INT_PTR CTalvoUpdateDlg::DoModal() {
  framework::WriteLog("Update dialog run\n");
  return IDCANCEL;
}

void CTalvoUpdateDlg::OnUpgradeNow() {
  if (!m_pProjectData || m_nCurIndex < 0 ||
      static_cast<size_t>(m_nCurIndex) >= m_arrComponents.size())
    return;
  ::OnUpgradeNow(*m_pProjectData, m_nCurKind, m_arrComponents[m_nCurIndex]->m_strName);
}
