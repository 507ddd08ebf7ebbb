// CTalvoUpdateApp: whether the update server answers, and the update information document.
#include <windows.h>

#include <memory>

#include "app/commandline.h"
#include "app/keptdocument.h"
#include "app/serverprobe.h"
#include "app/serverretry.h"
#include "app/singleinstance.h"
#include "app/talvoupdate.h"
#include "framework/log.h"
#include "framework/logcause.h"
#include "framework/resstring.h"
#include "framework/thread.h"
#include "framework/winapp.h"
#include "localstate/upregistry.h"
#include "net/internetfiledown.h"
#include "resources/resource.h"

namespace {

struct WinVersionNumbers {
  DWORD dwMajor = 0;
  DWORD dwMinor = 0;
  DWORD dwBuildValue = 0;
};

WinVersionNumbers ReadWinVersionNumbers() {
  WinVersionNumbers numbers;
  OSVERSIONINFOA info = {};
  info.dwOSVersionInfoSize = sizeof info;
  if (::GetVersionExA(&info)) {
    numbers.dwMajor = info.dwMajorVersion;
    numbers.dwMinor = info.dwMinorVersion;
    numbers.dwBuildValue = WinVersionBuildValue(info.dwBuildNumber, info.dwPlatformId);
  }
  return numbers;
}

// Recorded once, when the process starts.
const WinVersionNumbers g_winVersion = ReadWinVersionNumbers();

void SleepMs(unsigned long ms) { ::Sleep(ms); }

}  // namespace

BOOL CTalvoUpdateApp::CheckUpdateServer() {
  m_bBackground = IsBackgroundCommandLine(CommandLineArguments(::GetCommandLineA())) ? TRUE : FALSE;

  if (m_bBackground && !TryCountBackgroundRun(BackgroundCounter())) {
    // Another background updater already works on this installation.
    ::ExitProcess(1);
  }
  if (m_bBackground) framework::WriteLog("Background run counted\n");

  const std::string strHost = framework::LoadResString(IDS_UPDATE_HOST);
  const bool bConnected = ProbeUntilConnected(
      m_bBackground != FALSE, m_timings, [&strHost] { return ConnectProbe(strHost, 80) != FALSE; },
      SleepMs);
  if (!bConnected) {
    framework::WriteLog("Server check: the update server %s does not answer on port 80 %s\n", strHost.c_str(),
                        framework::cause::kNet);
    framework::AfxMessageBox("업데이트 서버에 접속할 수 없습니다.", MB_OK);
    return FALSE;
  }

  m_strInformation.clear();
  if (RequestUntilReceived(m_bBackground != FALSE, m_timings, [this] { return RequestInformation() != FALSE; },
                           SleepMs))
    return TRUE;
  framework::WriteLog("Server check: no update information document from %s %s\n", strHost.c_str(),
                      framework::cause::kNet);
  return FALSE;
}

BOOL CTalvoUpdateApp::RequestInformation() {
  m_strInformation.clear();
  m_bInformationFromKeptCopy = FALSE;
  m_informationValidator = HttpValidator();
  framework::UniqueHandle thread = framework::BeginThread(&CTalvoUpdateApp::InformationThread, this);
  if (thread) ::WaitForSingleObject(thread.Get(), INFINITE);
  return m_strInformation.empty() ? FALSE : TRUE;
}

UINT CTalvoUpdateApp::InformationThread(void* param) {
  auto* pApp = static_cast<CTalvoUpdateApp*>(param);
  auto pDown = std::make_unique<CInternetFileDown>();
  pDown->SetSavePath("");
  const std::string strPath = framework::LoadResString(IDS_INFORMATION_URL);
  const std::string strVersion = ReadVersion("Talvo");
  const std::string strURL = BuildInformationUrl(strPath, strVersion, pApp->GetWinVersionText(0x110));
  const DWORD dwTimeout = pApp->m_bBackground ? pApp->m_timings.backgroundRequestTimeoutMs
                                              : pApp->m_timings.foregroundRequestTimeoutMs;
  // A copy kept with its validators is asked for only if the document changed since.
  std::string strKept;
  HttpValidator known;
  if (!ReadKeptDocument(strKept, known)) known = HttpValidator();
  const CInternetFileDown::ConditionalText answer = pDown->DownloadToStringIfChanged(strURL, dwTimeout, known);
  if (answer.outcome == CInternetFileDown::ConditionalText::kNotModified) {
    framework::WriteLog("Information request: not changed since the kept copy (%lu bytes), which is checked as a "
                        "fresh one\n",
                        static_cast<unsigned long>(strKept.size()));
    pApp->m_strInformation = std::move(strKept);
    pApp->m_bInformationFromKeptCopy = TRUE;
  } else if (answer.outcome == CInternetFileDown::ConditionalText::kBody) {
    if (!known.IsEmpty()) framework::WriteLog("Information request: the document changed since the kept copy\n");
    pApp->m_strInformation = answer.strBody;
    pApp->m_informationValidator = answer.validator;
  }
  return 1;
}

std::string CTalvoUpdateApp::GetWinVersionText(DWORD mask) {
  return FormatWinVersionText(mask, g_winVersion.dwMajor, g_winVersion.dwMinor,
                              g_winVersion.dwBuildValue);
}
