#include "net/downloadworker.h"

#include <wininet.h>

#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>

#include "framework/log.h"
#include "framework/modulepath.h"
#include "framework/scopedhandle.h"
#include "localstate/filehelpers.h"
#include "net/downloadjob.h"
#include "net/downloadname.h"
#include "net/internetfiledown.h"
#include "net/parseurl.h"
#include "safename/safename.h"

using framework::WriteLog;

namespace {

const char kLineUnknownLocation[] = "다운로드 가능한 접속 위치를 알 수 없습니다.\nError Location = 1\n";
const char kLineCannotOpen[] =
    "다운로드 가능한 위치에 접속 할 수 없습니다.방화벽에 의하여 막혀 있거나, 인터넷 선이 불안해서 "
    "그렇수 있습니다.\n방화벽에 의한 것이면 관리자에게 문의 바랍니다.\nError Location = 2\n";
const char kLineCannotConnect[] =
    "다운로드 가능한 위치에 접속 할 수 없습니다.방화벽에 의하여 막혀 있거나, 인터넷 선이 불안해서 "
    "그렇수 있습니다.\n방화벽에 의한 것이면 관리자에게 문의 바랍니다.\nError Location = 3\n";
const char kLineNoRequest[] = "서버로부터 응답을 받지 못 했습니다. 잠시후 사용하여 주십시오.\nError Location = 4\n";
const char kLineTooManyUsers[] = "사용자가 너무 많습니다. 조금 더 기다려 주십시오.\n";
const char kLineReadingHeader[] = "%s 헤더를 읽고 있습니다.\n";
const char kLineNoStatus[] = "서버로부터 응답을 받지 못 했습니다. 잠시후 사용하여 주십시오.\nError Location = 5\n";
const char kLineBadStatus[] = "서버로부터 잘못된 응답이 수신되었습니다. 잠시후 사용하여 주십시오.\nError Location = 6\n";
const char kLineCannotWrite[] = "%s 디렉토리에 더 이상 쓰기가 불가능 합니다.\n";
const char kLineReadError[] =
    "서버로부터 읽기 오류가 발생하였습니다. 잠시후 다시 사용하여 주십시오.\nError Location = 7\n";

const int kSendAttempts = 9;
const DWORD kSendRetryPauseMs = 100;
const DWORD kReadPiece = 4096;
const DWORD kDrainPiece = 50;

// RELOAD | NO_CACHE_WRITE | KEEP_CONNECTION | PRAGMA_NOCACHE: always from the server, nothing
// into the cache.
const DWORD kRequestFlags = INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE |
                            INTERNET_FLAG_KEEP_CONNECTION | INTERNET_FLAG_PRAGMA_NOCACHE;
const unsigned short kSecurePort = 443;

// The executable's base name, without folder and extension.
std::string ApplicationName() {
  std::string name = framework::GetModulePath();
  name.erase(0, name.find_last_of("\\/") + 1);
  const size_t dot = name.rfind('.');
  if (dot != std::string::npos) name.resize(dot);
  return name;
}

// A certificate that does not verify ends the request: retrying cannot help, and the user is
// not to be connected to whoever presents it.
bool IsCertificateError(DWORD error) {
  switch (error) {
    case ERROR_INTERNET_SEC_CERT_DATE_INVALID:
    case ERROR_INTERNET_SEC_CERT_CN_INVALID:
    case ERROR_INTERNET_INVALID_CA:
    case ERROR_INTERNET_SEC_CERT_ERRORS:
    case ERROR_INTERNET_SEC_CERT_NO_REV:
    case ERROR_INTERNET_SEC_CERT_REV_FAILED:
    case ERROR_INTERNET_SEC_INVALID_CERT:
    case ERROR_INTERNET_SEC_CERT_REVOKED:
      return true;
    default:
      return false;
  }
}

DWORD ConnectService(unsigned long serviceType) {
  switch (serviceType) {
    case AFX_INET_SERVICE_FTP: return INTERNET_SERVICE_FTP;
    case AFX_INET_SERVICE_GOPHER: return INTERNET_SERVICE_GOPHER;
    default: return INTERNET_SERVICE_HTTP;
  }
}

class CDownloadWorker {
 public:
  explicit CDownloadWorker(std::shared_ptr<DownloadJob> job) : m_job(std::move(job)) {}
  UINT Run();
  UINT Fail(const char* line, bool setError, bool requeue);

 private:
  bool SendRequest();
  UINT Receive(std::uint64_t expected, bool drained);
  UINT Complete();
  void Log(const char* line);

  std::shared_ptr<DownloadJob> m_job;
  std::string m_strRemoteFile;
  std::string m_strLocalFile;
  framework::UniqueHandle m_hFile;  // FileToWrite
};

void CDownloadWorker::Log(const char* line) {
  // A cancelled job's failure is the canceller's doing, not news.
  if (!m_job->IsCancelled()) WriteLog("%s", line);
}

UINT CDownloadWorker::Fail(const char* line, bool setError, bool requeue) {
  if (line) Log(line);
  m_hFile.Reset();  // a partly written file is closed and left in place
  m_job->CloseInternetHandles();
  DownloadJob* job = m_job.get();
  const bool fileMode = !job->IsTextMode();
  job->RunWithOwner([&](CInternetFileDown& owner) {
    if (setError) owner.SetError(TRUE);
    if (requeue && fileMode) {
      owner.ReLoadFile(job->m_strURL);
    } else {
      owner.ClearRunningMark(job);
    }
  });
  return 0;
}

UINT CDownloadWorker::Run() {
  DownloadJob& job = *m_job;
  const bool textMode = job.IsTextMode();

  // 1. The local path: the download folder and the URL's last path segment.
  m_strRemoteFile = job.m_strURL;
  m_strLocalFile = job.m_strLocalPath;
  bool plainName = true;
  if (!textMode && !m_strLocalFile.empty()) {
    CreateDirectoryTree(m_strLocalFile);
    const std::string name = DownloadFileName(m_strRemoteFile);
    plainName = IsSafeFileName(name);
    m_strLocalFile += name;
  }

  // 2. Split the URL; a bare "host/path" is taken as http.
  unsigned long dwServiceType = 0;
  std::string sServer;
  std::string sObject;
  unsigned short nPort = 0;
  if (!AfxParseURL(m_strRemoteFile, dwServiceType, sServer, sObject, nPort) &&
      !AfxParseURL("http://" + m_strRemoteFile, dwServiceType, sServer, sObject, nPort)) {
    return Fail(kLineUnknownLocation, true, false);
  }

  // 3. Root handle (the system's proxy configuration) and connection.
  const std::string agent = ApplicationName();
  if (!job.Set(DownloadJob::kRoot,
               ::InternetOpenA(agent.c_str(), INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0)) ||
      !job.Get(DownloadJob::kRoot)) {
    return Fail(kLineCannotOpen, true, false);
  }
  const DWORD_PTR context = reinterpret_cast<DWORD_PTR>(&job);
  if (!job.Set(DownloadJob::kConnection,
               ::InternetConnectA(job.Get(DownloadJob::kRoot), sServer.c_str(), nPort, nullptr, nullptr,
                                  ConnectService(dwServiceType), 0, context)) ||
      !job.Get(DownloadJob::kConnection)) {
    return Fail(kLineCannotConnect, true, false);
  }

  // 4. The request. Port 443 means TLS whatever the scheme says; the certificate must verify.
  DWORD flags = kRequestFlags;
  if (nPort == kSecurePort) flags |= INTERNET_FLAG_SECURE;
  const char* ppszAcceptTypes[] = {"*/*", nullptr};
  if (!job.Set(DownloadJob::kRequest,
               ::HttpOpenRequestA(job.Get(DownloadJob::kConnection), nullptr, sObject.c_str(), "HTTP/1.1",
                                  nullptr, ppszAcceptTypes, flags, context)) ||
      !job.Get(DownloadJob::kRequest)) {
    return Fail(kLineNoRequest, true, true);
  }

  // 5. Send; Fail has been called when this returns false.
  if (!SendRequest()) return 0;

  // 6. Expected length: asked twice, 0 when unknown.
  char szLength[32] = {};
  DWORD dwLength = sizeof szLength;
  BOOL haveLength = ::HttpQueryInfoA(job.Get(DownloadJob::kRequest), HTTP_QUERY_CONTENT_LENGTH, szLength,
                                     &dwLength, nullptr);
  if (!haveLength) {
    dwLength = sizeof szLength;
    haveLength = ::HttpQueryInfoA(job.Get(DownloadJob::kRequest), HTTP_QUERY_CONTENT_LENGTH, szLength,
                                  &dwLength, nullptr);
  }
  szLength[sizeof szLength - 1] = '\0';
  const std::uint64_t expected = haveLength ? ContentLengthValue(szLength) : 0;
  if (!job.IsCancelled()) WriteLog(kLineReadingHeader, m_strRemoteFile.c_str());

  // 7. Status.
  char szStatusCode[32] = {};
  DWORD dwStatusLength = sizeof szStatusCode;
  if (!::HttpQueryInfoA(job.Get(DownloadJob::kRequest), HTTP_QUERY_STATUS_CODE, szStatusCode, &dwStatusLength,
                        nullptr)) {
    return Fail(kLineNoStatus, true, true);
  }
  szStatusCode[sizeof szStatusCode - 1] = '\0';
  const long status = std::atol(szStatusCode);
  bool drained = false;
  if (status == HTTP_STATUS_DENIED || status == HTTP_STATUS_PROXY_AUTH_REQ) {
    // An authentication reply is read and thrown away; the job then completes empty.
    char szData[kDrainPiece + 1];
    DWORD dwRead = 0;
    while (::InternetReadFile(job.Get(DownloadJob::kRequest), szData, kDrainPiece, &dwRead) && dwRead != 0) {
    }
    drained = true;
  } else if (status != HTTP_STATUS_OK && status != HTTP_STATUS_PARTIAL_CONTENT) {
    return Fail(kLineBadStatus, true, true);
  }

  // 8. The sink. A transfer given up meanwhile must not replace a file its caller no longer wants.
  if (job.IsCancelled()) return Fail(nullptr, false, true);
  if (!textMode) {
    if (!plainName) {
      if (!job.IsCancelled()) WriteLog(kLineCannotWrite, m_strLocalFile.c_str());
      return Fail(nullptr, false, true);
    }
    if (::SetFileAttributesA(m_strLocalFile.c_str(), FILE_ATTRIBUTE_NORMAL)) ::DeleteFileA(m_strLocalFile.c_str());
    m_hFile.Reset(::CreateFileA(m_strLocalFile.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!m_hFile) {
      if (!job.IsCancelled()) WriteLog(kLineCannotWrite, m_strLocalFile.c_str());
      return Fail(nullptr, false, true);
    }
  } else {
    job.m_strResult.clear();
  }

  // 9-10.
  return Receive(expected, drained);
}

bool CDownloadWorker::SendRequest() {
  DownloadJob& job = *m_job;
  for (int attempt = 1; attempt <= kSendAttempts; ++attempt) {
    if (::HttpSendRequestA(job.Get(DownloadJob::kRequest), nullptr, 0, nullptr, 0)) return true;
    const DWORD error = ::GetLastError();
    if (job.IsCancelled()) {
      Fail(nullptr, false, true);
      return false;
    }
    if (IsCertificateError(error)) {
      Fail(kLineNoRequest, true, true);
      return false;
    }
    job.RunWithOwner([](CInternetFileDown& owner) { owner.SetError(TRUE); });
    Log(kLineTooManyUsers);
    ::Sleep(kSendRetryPauseMs);
  }
  Fail(nullptr, true, true);
  return false;
}

UINT CDownloadWorker::Receive(std::uint64_t expected, bool drained) {
  DownloadJob& job = *m_job;
  const bool textMode = job.IsTextMode();
  char szReadBuf[kReadPiece + 1];
  INTERNET_BUFFERSA netBuf;
  std::uint64_t received = 0;
  int lastPosition = -1;
  for (;;) {
    ZeroMemory(&netBuf, sizeof netBuf);
    netBuf.dwStructSize = sizeof netBuf;
    netBuf.lpvBuffer = szReadBuf;
    netBuf.dwBufferLength = kReadPiece;
    if (!::InternetReadFileExA(job.Get(DownloadJob::kRequest), &netBuf, IRF_ASYNC, 0)) {
      return Fail(kLineReadError, true, true);
    }
    if (job.IsCancelled()) return Fail(nullptr, false, true);
    const DWORD n = netBuf.dwBufferLength < kReadPiece ? netBuf.dwBufferLength : kReadPiece;
    if (n == 0) break;
    if (!textMode) {
      DWORD written = 0;
      if (!::WriteFile(m_hFile.Get(), szReadBuf, n, &written, nullptr) || written != n) {
        return Fail(nullptr, false, true);
      }
    } else {
      if (job.m_strResult.size() + n > CInternetFileDown::kMaxTextBody) return Fail(kLineReadError, true, true);
      job.m_strResult.append(szReadBuf, n);
    }
    received += n;
    if (!textMode && expected != 0) {
      // Each move is a message to another thread: only a new percentage is worth one.
      const int position = ProgressPercent(received, expected);
      if (position != lastPosition) {
        lastPosition = position;
        job.RunWithOwner([position](CInternetFileDown& owner) { owner.SetProgress(position); });
      }
    }
  }
  // A body that ends before its announced length was cut off, not completed.
  if (!drained && expected != 0 && received < expected) return Fail(kLineReadError, true, true);
  return Complete();
}

UINT CDownloadWorker::Complete() {
  DownloadJob& job = *m_job;
  if (m_hFile && !::CloseHandle(m_hFile.Release())) return Fail(nullptr, false, true);
  job.CloseInternetHandles();
  job.RunWithOwner([&](CInternetFileDown& owner) { owner.FinishJob(m_strLocalFile, job.m_bExecute); });
  if (job.IsTextMode()) ::SetEvent(job.m_hEvent.Get());
  return 1;
}

}  // namespace

UINT DownloadThread(void* pParam) {
  std::unique_ptr<std::shared_ptr<DownloadJob>> param(static_cast<std::shared_ptr<DownloadJob>*>(pParam));
  CDownloadWorker worker(std::move(*param));
  try {
    return worker.Run();
  } catch (...) {
    // Out of memory while collecting a body: a failed job like any other, and the running mark
    // must still be cleared.
    return worker.Fail(kLineReadError, true, true);
  }
}
