// The application object: one pass from start to end inside InitInstance.
#pragma once
#include <windows.h>

#include <string>

#include "framework/winapp.h"

class CTalvoUpdateApp : public framework::CWinApp {
 public:
  CTalvoUpdateApp();
  BOOL InitInstance() override;

  BOOL m_bBackground = FALSE;
  std::string m_strInformation;
  UINT m_nOSType = 0;
  BOOL m_bUpdateProgram = FALSE;
  BOOL m_bUpdateLoginOcx = FALSE;
  BOOL m_bUpdateDat = FALSE;
  BOOL m_bUpdateServerList = FALSE;
  BOOL m_bUpdateOptions = FALSE;
  BOOL m_bOptionBackup = FALSE;
};
