#include "app/talvoupdate.h"

#include <ole2.h>
#include <shellapi.h>
#include <winsock2.h>

#include <memory>

#include "app/commandline.h"
#include "app/diagnosticsbundle.h"
#include "app/downloaderfetchtext.h"
#include "app/keptdocument.h"
#include "app/runstartline.h"
#include "app/singleinstance.h"
#include "app/startupdecision.h"
#include "catalogue/rolloutbucket.h"
#include "catalogue/signeddocument.h"
#include "crypto/systemrandom.h"
#include "localstate/rolloutvalue.h"
#include "catalogue/noticefetch.h"
#include "catalogue/projectdata.h"
#include "framework/keptlog.h"
#include "framework/log.h"
#include "framework/logcause.h"
#include "framework/modulepath.h"
#include "framework/resstring.h"
#include "framework/scopedhandle.h"
#include "localstate/filehelpers.h"
#include "localstate/installjournalfile.h"
#include "localstate/pathmacros.h"
#include "localstate/upregistry.h"
#include "resources/resource.h"
#include "safename/updaterfiles.h"
#include "talvobuildconfig.h"
#include "update/talvoupdatedlg.h"

namespace {

// Windows Sockets 1.1 for the probe; any other granted version counts as a failure.
class CWinsockSession {
 public:
  CWinsockSession() {
    WSADATA data;
    m_bStarted = ::WSAStartup(MAKEWORD(1, 1), &data) == 0;
    if (m_bStarted && data.wVersion != MAKEWORD(1, 1)) {
      ::WSACleanup();
      m_bStarted = false;
    }
  }
  ~CWinsockSession() {
    if (m_bStarted) ::WSACleanup();
  }
  CWinsockSession(const CWinsockSession&) = delete;
  CWinsockSession& operator=(const CWinsockSession&) = delete;
  bool Started() const { return m_bStarted; }

 private:
  bool m_bStarted = false;
};

// ActiveX hosting for the banner page: the browser control needs OLE on this thread.
class COleSession {
 public:
  COleSession() : m_bStarted(SUCCEEDED(::OleInitialize(nullptr))) {}
  ~COleSession() {
    if (m_bStarted) ::OleUninitialize();
  }
  COleSession(const COleSession&) = delete;
  COleSession& operator=(const COleSession&) = delete;

 private:
  bool m_bStarted;
};

constexpr char kClientCaptionKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Talvo";
constexpr DWORD kClientCaptionBufferSize = 100;

}  // namespace

CTalvoUpdateApp::CTalvoUpdateApp() : CTalvoUpdateApp(StartupTimings()) {}

CTalvoUpdateApp::CTalvoUpdateApp(const StartupTimings& timings)
    : CTalvoUpdateApp(timings, TALVO_RELEASE_PUBLIC_KEY) {}

CTalvoUpdateApp::CTalvoUpdateApp(const StartupTimings& timings, const std::string& releasePublicKey)
    : m_timings(timings), m_strReleasePublicKey(releasePublicKey) {
  // The catalogue fetches its notice through whatever it is given; in the program that is the
  // downloader.
  SetTextFetcher(&FetchTextWithDownloader);
}

BOOL CTalvoUpdateApp::InitInstance() {
  // Support reads what happened from the log beside the updater; a second updater that quits at
  // once is worth its line too.
  const std::string strFolder = framework::GetModuleFolder();
  framework::SetKeptLogPath(strFolder + "\\" + kKeptLogName);
  const std::string strRunLine = DescribeRunStart(::GetCommandLineA(), m_strReleasePublicKey, strFolder);
  framework::WriteLog("%s\n", strRunLine.c_str());
  // Support's bundle changes nothing, so it needs no guard, and the client is not started.
  std::string strBundleFolder;
  if (ReadDiagnosticsArgument(CommandLineArguments(::GetCommandLineA()), strBundleFolder)) {
    std::string strBundle;
    if (WriteDiagnosticsBundle(strBundleFolder, strRunLine, strBundle)) {
      framework::WriteLog("Diagnostics: bundle written to %s\n", strBundle.c_str());
      framework::AfxMessageBox("진단 정보를 다음 파일에 저장했습니다.\n" + strBundle, MB_OK | MB_ICONINFORMATION);
    } else {
      framework::WriteLog("Diagnostics: no bundle: %s\n", strBundle.c_str());
      framework::AfxMessageBox("진단 정보를 저장하지 못했습니다.\n" + strBundle, MB_OK | MB_ICONWARNING);
    }
    return FALSE;
  }
  if (!CheckSingleInstance()) return FALSE;
  // Alone now, and before anything is compared with what is installed: an installation step cut
  // off last time is undone (or, if it had completed, tidied up).
  const JournalRepairResult repair = RepairInstallation(GetInstallJournalPath());
  if (repair.outcome != JournalRepairResult::kNoJournal) framework::WriteLog("%s\n", DescribeRepair(repair).c_str());
  if (repair.outcome == JournalRepairResult::kKept) {
    // What the kept journal names is still to be put back: a new step could bury it. The client
    // starts as it is; the next start tries the repair again.
    framework::WriteLog("No update while the installation journal is kept: %s %s\n", GetInstallJournalPath().c_str(),
                        framework::cause::kJournal);
    StartClient();
    return FALSE;
  }
  // What an earlier run staged (packages, partial downloads, unpacked files) belongs to no later
  // one; the repair has no use for it either.
  if (!EmptyStagingFolder()) framework::WriteLog("Staging folder not emptied: %s\n", GetStagingFolder().c_str());

  CWinsockSession winsock;
  if (!winsock.Started()) {
    framework::AfxMessageBox(framework::LoadResString(IDS_SOCKET_INIT_FAILED), MB_OK);
    return FALSE;
  }
  COleSession controlHosting;

  // Past this point the client is always started: an unexpected failure (running out of memory
  // on a huge document, say) only ends the update check early.
  try {
    CheckAndUpdate();
  } catch (...) {
    framework::WriteLog("Update check ended by an unexpected failure\n");
  }
  StartClient();
  return FALSE;
}

void CTalvoUpdateApp::CheckAndUpdate() {
  // The catalogue belongs to the run; the dialog borrows it through m_pProjectData and takes
  // over the extra-project records it offers. The dialog (and a worker it may still wait for)
  // goes first.
  std::unique_ptr<CProjectData> pProjectData;
  CTalvoUpdateDlg dlg(*this);
  SetUpdateFlags(UpdateFlags());

  std::string strDocument;
  const BOOL bReceived = CheckUpdateServer();
  // Support's bundle shows what the server sent last, whatever the checks made of it (the log says).
  if (bReceived && !m_bInformationFromKeptCopy) KeepReceivedDocument(m_strInformation);
  const BOOL bAccepted = bReceived && AcceptRelease(strDocument);
  // Nothing of a refused document (a kept copy refused included) vouches for the next request.
  if (bReceived && !bAccepted) ForgetDocumentValidator();
  if (bAccepted && !m_bInformationFromKeptCopy) KeepDocumentValidator(m_informationValidator);
  if (bAccepted) {
    m_bCheckPackages = m_strReleasePublicKey.empty() ? FALSE : TRUE;
    pProjectData = std::make_unique<CProjectData>();
    dlg.m_pProjectData = pProjectData.get();
    if (dlg.m_pProjectData->Parse(strDocument)) {
      CProjectData& data = *dlg.m_pProjectData;
      CheckNoticePin(data);
      const std::string strName = data.GetProjectName();
      InstalledVersions installed;
      for (const ComponentKindRow& kind : StandardComponentKinds()) {
        // A kind without a registry value keeps its version in its own file (the filter data).
        installed.*kind.pInstalled =
            kind.szVersionValue ? ReadInstallValue(kind.szVersionValue + strName) : ReadDatVersion();
      }
      m_nOSType = GetOSType();
      const OfferedVersions offered = ReadOfferedVersions(data);
      UpdateFlags flags = ComputeUpdateFlags(installed, offered, m_nOSType);
      if (!TakesRelease(strDocument)) flags = HoldBackOutsideShare(flags, installed);
      framework::WriteLog("%s\n", DescribeUpdateDecision(installed, offered, flags, m_nOSType).c_str());
      SetUpdateFlags(flags);
      framework::WriteLog(
          "Update check: program %d, login control %d, server list %d, filter data %d, "
          "options %d, extra projects %u\n",
          m_bUpdateProgram, m_bUpdateLoginOcx, m_bUpdateServerList, m_bUpdateDat,
          m_bUpdateOptions, static_cast<unsigned>(data.m_arrEtcProject.size()));

      if (ShouldShowUpdateDialog(flags, data.m_arrEtcProject.size(),
                                 [this] { return FindClientWindow() != nullptr; })) {
        dlg.DoModal();
      }
    }
  }
}

BOOL CTalvoUpdateApp::TakesRelease(const std::string& strDocument) {
  const ReleaseRollout rollout = ReadReleaseRollout(strDocument);
  if (rollout.state == RolloutState::kEveryone) return TRUE;
  const ReleaseNumber release = ReadReleaseNumber(strDocument);
  if (rollout.bUrgent) {
    framework::WriteLog("Rollout: release %u is urgent: taken by every installation\n",
                        static_cast<unsigned>(release.number));
    return TRUE;
  }
  if (release.state != ReleaseNumberState::kFound) {
    framework::WriteLog("Rollout: a share without a release number: not phased\n");
    return TRUE;
  }
  if (rollout.state == RolloutState::kMalformed) {
    framework::WriteLog("Rollout: release %u: malformed share, taken by no installation until mended\n",
                        static_cast<unsigned>(release.number));
    return FALSE;
  }
  if (rollout.percent >= 100) return TRUE;
  uint64_t value = 0;
  DWORD dwError = 0;
  if (!ReadOrMakeRolloutValue(&crypto::SystemRandom64, value, dwError)) {
    // Without a kept value the bucket would be drawn anew at every check: wait for the whole release.
    framework::WriteLog("Rollout: release %u at %d %%: held back, no installation value in %s (error %lu)\n",
                        static_cast<unsigned>(release.number), rollout.percent, GetRolloutValuePath().c_str(),
                        static_cast<unsigned long>(dwError));
    return FALSE;
  }
  const int bucket = RolloutBucket(value, release.number);
  const bool taken = bucket < rollout.percent;
  framework::WriteLog("Rollout: release %u at %d %%, bucket %d: %s\n", static_cast<unsigned>(release.number),
                      rollout.percent, bucket, taken ? "taken" : "held back (only what is missing is offered)");
  return taken ? TRUE : FALSE;
}

void CTalvoUpdateApp::StartClient() {
  try {
    ExecuteProgram(LoadMacroPath(IDS_CLIENT_PATH, ""));
  } catch (...) {
    framework::WriteLog("The client could not be started: no memory for its path\n");
  }
}

CxSkinButton* CTalvoUpdateApp::GetStartButton() { return m_pUpdateDlg ? &m_pUpdateDlg->m_btnUpdate : nullptr; }

UINT CTalvoUpdateApp::GetOSType() {
  OSVERSIONINFOEXA info = {};
  info.dwOSVersionInfoSize = sizeof(OSVERSIONINFOEXA);
  if (!::GetVersionExA(reinterpret_cast<OSVERSIONINFOA*>(&info))) {
    info.dwOSVersionInfoSize = sizeof(OSVERSIONINFOA);
    if (!::GetVersionExA(reinterpret_cast<OSVERSIONINFOA*>(&info))) return kOSTypeUnknown;
  }
  return OSTypeFromPlatformId(info.dwPlatformId);
}

HWND CTalvoUpdateApp::FindClientWindow() {
  HKEY hKey = nullptr;
  if (::RegOpenKeyExA(HKEY_CURRENT_USER, kClientCaptionKey, 0, KEY_READ | KEY_WRITE, &hKey) !=
      ERROR_SUCCESS) {
    return nullptr;
  }
  framework::UniqueRegKey key(hKey);
  DWORD dwSize = 0;
  if (::RegQueryValueExA(key.Get(), "TalvoVersion", nullptr, nullptr, nullptr, &dwSize) !=
      ERROR_SUCCESS) {
    return nullptr;
  }
  // A caption that does not fit the buffer cannot be the client's: no running client.
  if (dwSize > kClientCaptionBufferSize) return nullptr;
  char szCaption[kClientCaptionBufferSize + 1] = {};
  if (::RegQueryValueExA(key.Get(), "TalvoVersion", nullptr, nullptr,
                         reinterpret_cast<BYTE*>(szCaption), &dwSize) != ERROR_SUCCESS) {
    return nullptr;
  }
  if (strnlen(szCaption, kClientCaptionBufferSize) >= kClientCaptionBufferSize) return nullptr;
  // An empty caption names no window in particular; it would match any untitled one.
  if (szCaption[0] == '\0') return nullptr;
  return ::FindWindowA(nullptr, szCaption);
}

void CTalvoUpdateApp::ExecuteProgram(const std::string& path) {
  ::ShellExecuteA(nullptr, "open", path.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
}
