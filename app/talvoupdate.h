// The application object: one pass from start to end inside InitInstance.
#pragma once
#include <windows.h>

#include <string>

#include "app/startuptimings.h"
#include "catalogue/projectdata.h"
#include "framework/winapp.h"
#include "net/httpvalidator.h"
#include "ui/startbuttonhost.h"
#include "update/updateappstate.h"

// The decision's flags, m_nOSType, m_bOptionBackup and m_pUpdateDlg come from CUpdateAppState.
class CTalvoUpdateApp : public framework::CWinApp, public CUpdateAppState, public IStartButtonHost {
 public:
  CTalvoUpdateApp();
  // Test programs shorten the probe's and the request's waits through this; the product never does.
  explicit CTalvoUpdateApp(const StartupTimings& timings);
  // Test programs carry a test release key this way; the product takes the build's.
  CTalvoUpdateApp(const StartupTimings& timings, const std::string& releasePublicKey);

  // Guard, server check, catalogue, version comparison, dialog, client start. Always FALSE.
  // Every run that gets past the guard and the socket start-up starts the client, whatever
  // fails in between (a refused background run excepted, which ends the process).
  BOOL InitInstance() override;
  // The running update window, which holds the start button the component list switches.
  // The running update window's start button, for the component list.
  CxSkinButton* GetStartButton() override;

  // Family code: 0x105 NT, 0xa04 9x, 4 another platform, 0 when GetVersionExA fails twice.
  UINT GetOSType();
  // The running client's main window (caption recorded under "TalvoVersion"), or null.
  HWND FindClientWindow();
  // Opens `path` with the shell; the outcome is not examined.
  void ExecuteProgram(const std::string& path);

  // Background decision, background rule, port-80 probe and the document request. TRUE when
  // m_strInformation holds a document. A refused background run ends the process with exit code 1.
  BOOL CheckUpdateServer();
  // One document request on a worker; waits for it. TRUE when m_strInformation is not empty.
  BOOL RequestInformation();
  // Worker of RequestInformation; `param` is the application object.
  static UINT InformationThread(void* param);
  // With a release key: TRUE when m_strInformation is signed with it and not older than what this
  // machine has accepted (a newer release is then recorded); `strDocument` gets the signed bytes.
  // Without a key: TRUE, and the whole document. A refused document counts as none:
  // m_strInformation is emptied. With a key, one diagnostic line tells the outcome.
  BOOL AcceptRelease(std::string& strDocument);
  // With a release key: the notice fetched while parsing is shown only when its bytes have the
  // size and SHA-256 the signed document pins beside NOTICE_URL; otherwise it is dropped, with a
  // diagnostic line. Without a key: nothing changes.
  void CheckNoticePin(CProjectData& data);
  // Whether this installation takes the release now: FALSE outside its signed rollout share (not
  // urgent), where only components the installation lacks are offered.
  BOOL TakesRelease(const std::string& strDocument);
  // Windows version numbers recorded at start-up, as text (mask 0x110: "major.minor").
  std::string GetWinVersionText(DWORD mask);

  BOOL m_bBackground = FALSE;
  std::string m_strInformation;
  // Where m_strInformation came from: the copy kept from an earlier start, which the server said
  // is current, or an answer with these validators.
  BOOL m_bInformationFromKeptCopy = FALSE;
  HttpValidator m_informationValidator;

  StartupTimings m_timings;
  // The release key line ("ecdsa-p256:..."); empty in a build without one, which reads any document.
  std::string m_strReleasePublicKey;

 private:
  // Steps after the guard and the socket start-up: server check, catalogue, version comparison
  // and the dialog. May throw; InitInstance then goes on with the client's start.
  void CheckAndUpdate();
  // The client program named by string resource 105.
  void StartClient();
};
