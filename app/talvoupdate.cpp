#include "app/talvoupdate.h"

#include <ole2.h>
#include <shellapi.h>
#include <winsock2.h>

#include <memory>

#include "app/downloaderfetchtext.h"
#include "app/singleinstance.h"
#include "app/startupdecision.h"
#include "catalogue/noticefetch.h"
#include "catalogue/projectdata.h"
#include "framework/log.h"
#include "framework/resstring.h"
#include "framework/scopedhandle.h"
#include "localstate/filehelpers.h"
#include "localstate/installjournalfile.h"
#include "localstate/pathmacros.h"
#include "localstate/upregistry.h"
#include "resources/resource.h"
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
  if (!CheckSingleInstance()) return FALSE;
  // Alone now, and before anything is compared with what is installed: an installation step cut
  // off last time is undone (or, if it had completed, tidied up).
  const JournalRepairResult repair = RepairInstallation(GetInstallJournalPath());
  if (repair.outcome != JournalRepairResult::kNoJournal) framework::WriteLog("%s\n", DescribeRepair(repair).c_str());

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
  if (CheckUpdateServer() && AcceptRelease(strDocument)) {
    m_bCheckPackages = m_strReleasePublicKey.empty() ? FALSE : TRUE;
    pProjectData = std::make_unique<CProjectData>();
    dlg.m_pProjectData = pProjectData.get();
    if (dlg.m_pProjectData->Parse(strDocument)) {
      CProjectData& data = *dlg.m_pProjectData;
      const std::string strName = data.GetProjectName();
      InstalledVersions installed;
      for (const ComponentKindRow& kind : StandardComponentKinds()) {
        // A kind without a registry value keeps its version in its own file (the filter data).
        installed.*kind.pInstalled =
            kind.szVersionValue ? ReadInstallValue(kind.szVersionValue + strName) : ReadDatVersion();
      }
      m_nOSType = GetOSType();
      const UpdateFlags flags = ComputeUpdateFlags(installed, ReadOfferedVersions(data), m_nOSType);
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
