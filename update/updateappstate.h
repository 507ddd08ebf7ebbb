// What the start-up decided, as the update window reads it. The application object is one
// (CTalvoUpdateApp derives from it); the window only knows this part of it.
#pragma once
#include <windows.h>

#include "catalogue/componentkind.h"
#include "net/downloadtimings.h"

class CTalvoUpdateDlg;

class CUpdateAppState {
 public:
  UINT m_nOSType = 0;  // family code: 0x105, 5 and 4 choose the XP build
  BOOL m_bUpdateProgram = FALSE;
  BOOL m_bUpdateLoginOcx = FALSE;
  BOOL m_bUpdateDat = FALSE;
  BOOL m_bUpdateServerList = FALSE;
  BOOL m_bUpdateOptions = FALSE;
  // The option file is moved aside once, after the first package of the run; the worker clears it.
  volatile BOOL m_bOptionBackup = FALSE;
  // The document was signed with the build's release key: each package must match the size and
  // SHA-256 it pins before anything is extracted from it.
  BOOL m_bCheckPackages = FALSE;
  // The limits of package transfers: the product's; only test programs shorten them.
  DownloadTimings m_downloadTimings;
  // The running update window; set and cleared by the window itself. Not owned.
  CTalvoUpdateDlg* m_pUpdateDlg = nullptr;

  // The start-up's comparison: sets the m_bUpdate* flags and m_bOptionBackup.
  void SetUpdateFlags(const UpdateFlags& flags) {
    m_updateFlags = flags;
    m_bUpdateProgram = flags.bUpdateProgram;
    m_bUpdateLoginOcx = flags.bUpdateLoginOcx;
    m_bUpdateDat = flags.bUpdateDat;
    m_bUpdateServerList = flags.bUpdateServerList;
    m_bUpdateOptions = flags.bUpdateOptions;
    m_bOptionBackup = flags.bOptionBackup;
  }
  // Whether the start-up found the kind outdated.
  bool IsOutdated(const ComponentKindRow& kind) const { return m_updateFlags.*kind.pOutdated; }

 protected:
  CUpdateAppState() = default;
  ~CUpdateAppState() = default;

 private:
  UpdateFlags m_updateFlags;
};

