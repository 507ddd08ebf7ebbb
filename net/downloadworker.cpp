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
#include "net/downloadfailure.h"
#include "net/downloadjob.h"
#include "net/downloadname.h"
#include "net/internetfiledown.h"
#include "net/parseurl.h"
#include "safename/safename.h"

using framework::WriteLog;

namespace {

const int kSendAttempts = 9;
const DWORD kSendRetryPauseMs = 100;
const DWORD kReadPiece = 4096;
const DWORD kDrainPiece = 50;

// RELOAD | NO_CACHE_WRITE | KEEP_CONNECTION | PRAGMA_NOCACHE: always from the server, nothing
// into the cache.
const DWORD kRequestFlags = INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE |
                            INTERNET_FLAG_KEEP_CONNECTION | INTERNET_FLAG_PRAGMA_NOCACHE;
const unsigned short kSecurePort = 443;

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

// One job from URL to file or text. Run goes through the steps in order; a step returns null to
// go on, or the row of the failure table that ends the job.
class CDownloadWorker {
 public:
  explicit CDownloadWorker(std::shared_ptr<DownloadJob> job) : m_job(std::move(job)) {}
  UINT Run();
  UINT Fail(const DownloadFailure& failure);

 private:
  using Step = const DownloadFailure* (CDownloadWorker::*)();
  const DownloadFailure* ChooseLocalFile();
  const DownloadFailure* SplitUrl();
  const DownloadFailure* OpenInternet();
  const DownloadFailure* Connect();
  const DownloadFailure* OpenRequest();
  const DownloadFailure* SendRequest();
  const DownloadFailure* ReadHeaders();
  const DownloadFailure* OpenSink();
  const DownloadFailure* ReceiveBody();
  const DownloadFailure* CloseSink();
  UINT Complete();
  bool AwaitBody(DWORD dwMaxPiece, DWORD& dwPiece);

  bool IsFileMode() const { return !m_job->IsTextMode(); }
  HINTERNET Request() const { return m_job->Get(DownloadJob::kRequest); }

  std::shared_ptr<DownloadJob> m_job;
  std::string m_strRemoteFile;
  std::string m_strLocalFile;
  bool m_bSafeFileName = true;
  unsigned long m_dwServiceType = 0;
  std::string m_sServer;
  std::string m_sObject;
  unsigned short m_nPort = 0;
  std::uint64_t m_nExpected = 0;  // Content-Length, 0 when unknown
  bool m_bDrained = false;        // an authentication reply was read and thrown away
  framework::UniqueHandle m_hFile;  // FileToWrite
};

UINT CDownloadWorker::Run() {
  static const Step kSteps[] = {
      &CDownloadWorker::ChooseLocalFile, &CDownloadWorker::SplitUrl,     &CDownloadWorker::OpenInternet,
      &CDownloadWorker::Connect,         &CDownloadWorker::OpenRequest,  &CDownloadWorker::SendRequest,
      &CDownloadWorker::ReadHeaders,     &CDownloadWorker::OpenSink,     &CDownloadWorker::ReceiveBody,
      &CDownloadWorker::CloseSink,
  };
  for (const Step step : kSteps) {
    if (const DownloadFailure* failure = (this->*step)()) return Fail(*failure);
    m_job->MarkActivity();
  }
  return Complete();
}

UINT CDownloadWorker::Fail(const DownloadFailure& failure) {
  DownloadJob* job = m_job.get();
  // A given-up job's failure is the caller's doing, not news.
  if (failure.szLine && !job->IsCancelled()) {
    if (failure.bNamesLocalFile)
      WriteLog(failure.szLine, m_strLocalFile.c_str());
    else
      WriteLog("%s", failure.szLine);
  }
  m_hFile.Reset();  // a partly written file is closed and left in place
  job->CloseInternetHandles();
  job->RunWithOwner([&](CInternetFileDown& owner) { owner.EndJob(*job, failure); });
  return 0;
}

// 1. The download folder (created if need be) and the URL's last path segment.
const DownloadFailure* CDownloadWorker::ChooseLocalFile() {
  m_strRemoteFile = m_job->m_strURL;
  m_strLocalFile = m_job->m_strLocalPath;
  if (IsFileMode() && !m_strLocalFile.empty()) {
    CreateDirectoryTree(m_strLocalFile);
    const std::string name = DownloadFileName(m_strRemoteFile);
    // Refused only when the file is to be created, as the table's row for it says.
    m_bSafeFileName = IsSafeFileName(name);
    m_strLocalFile += name;
  }
  return nullptr;
}

// 2. A bare "host/path" is taken as http.
const DownloadFailure* CDownloadWorker::SplitUrl() {
  if (AfxParseURL(m_strRemoteFile, m_dwServiceType, m_sServer, m_sObject, m_nPort) ||
      AfxParseURL("http://" + m_strRemoteFile, m_dwServiceType, m_sServer, m_sObject, m_nPort))
    return nullptr;
  return &kUrlNotSplit;
}

// 3. The root handle uses the system's proxy configuration; the agent is the program's name.
const DownloadFailure* CDownloadWorker::OpenInternet() {
  const std::string agent = framework::GetModuleFileTitle();
  if (!m_job->Set(DownloadJob::kRoot,
                  ::InternetOpenA(agent.c_str(), INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0)) ||
      !m_job->Get(DownloadJob::kRoot))
    return &kInternetNotOpened;
  return nullptr;
}

const DownloadFailure* CDownloadWorker::Connect() {
  const DWORD_PTR context = reinterpret_cast<DWORD_PTR>(m_job.get());
  if (!m_job->Set(DownloadJob::kConnection,
                  ::InternetConnectA(m_job->Get(DownloadJob::kRoot), m_sServer.c_str(), m_nPort, nullptr,
                                     nullptr, ConnectService(m_dwServiceType), 0, context)) ||
      !m_job->Get(DownloadJob::kConnection))
    return &kNotConnected;
  return nullptr;
}

// 4. Port 443 means TLS whatever the scheme says; the certificate must verify.
const DownloadFailure* CDownloadWorker::OpenRequest() {
  DWORD flags = kRequestFlags;
  if (m_nPort == kSecurePort) flags |= INTERNET_FLAG_SECURE;
  const char* ppszAcceptTypes[] = {"*/*", nullptr};
  const DWORD_PTR context = reinterpret_cast<DWORD_PTR>(m_job.get());
  if (!m_job->Set(DownloadJob::kRequest,
                  ::HttpOpenRequestA(m_job->Get(DownloadJob::kConnection), nullptr, m_sObject.c_str(),
                                     "HTTP/1.1", nullptr, ppszAcceptTypes, flags, context)) ||
      !Request())
    return &kRequestNotOpened;
  return nullptr;
}

// 5. Up to nine attempts, 100 ms apart; each failed one sets the error flag, which stays set
// even when a later attempt gets through.
const DownloadFailure* CDownloadWorker::SendRequest() {
  for (int attempt = 1; attempt <= kSendAttempts; ++attempt) {
    if (::HttpSendRequestA(Request(), nullptr, 0, nullptr, 0)) return nullptr;
    const DWORD error = ::GetLastError();
    if (m_job->IsCancelled()) return &kGivenUp;
    if (IsCertificateError(error)) return &kRequestNotOpened;
    m_job->MarkActivity();
    m_job->RunWithOwner([](CInternetFileDown& owner) { owner.SetError(TRUE); });
    WriteLog("%s", kLineTooManyUsers);
    ::Sleep(kSendRetryPauseMs);
  }
  return &kSendFailedNineTimes;
}

// 6-7. Expected length (asked twice, 0 when unknown) and status. An authentication reply is read
// and thrown away; the job then completes empty.
const DownloadFailure* CDownloadWorker::ReadHeaders() {
  char szLength[32] = {};
  DWORD dwLength = sizeof szLength;
  BOOL haveLength = ::HttpQueryInfoA(Request(), HTTP_QUERY_CONTENT_LENGTH, szLength, &dwLength, nullptr);
  if (!haveLength) {
    dwLength = sizeof szLength;
    haveLength = ::HttpQueryInfoA(Request(), HTTP_QUERY_CONTENT_LENGTH, szLength, &dwLength, nullptr);
  }
  szLength[sizeof szLength - 1] = '\0';
  m_nExpected = haveLength ? ContentLengthValue(szLength) : 0;
  if (!m_job->IsCancelled()) WriteLog(kLineReadingHeader, m_strRemoteFile.c_str());

  char szStatusCode[32] = {};
  DWORD dwStatusLength = sizeof szStatusCode;
  if (!::HttpQueryInfoA(Request(), HTTP_QUERY_STATUS_CODE, szStatusCode, &dwStatusLength, nullptr))
    return &kNoStatus;
  szStatusCode[sizeof szStatusCode - 1] = '\0';
  const long status = std::atol(szStatusCode);
  if (status == HTTP_STATUS_DENIED || status == HTTP_STATUS_PROXY_AUTH_REQ) {
    char szData[kDrainPiece + 1];
    DWORD dwPiece = 0;
    DWORD dwRead = 0;
    while (AwaitBody(kDrainPiece, dwPiece) && ::InternetReadFile(Request(), szData, dwPiece, &dwRead) &&
           dwRead != 0)
      m_job->MarkActivity();
    m_bDrained = true;
    return nullptr;
  }
  if (status != HTTP_STATUS_OK && status != HTTP_STATUS_PARTIAL_CONTENT) return &kBadStatus;
  return nullptr;
}

// 8. A transfer given up meanwhile must not replace a file its caller no longer wants.
const DownloadFailure* CDownloadWorker::OpenSink() {
  if (m_job->IsCancelled()) return &kGivenUp;
  if (!IsFileMode()) {
    m_job->m_strResult.clear();
    return nullptr;
  }
  if (!m_bSafeFileName) return &kCannotCreateFile;
  if (::SetFileAttributesA(m_strLocalFile.c_str(), FILE_ATTRIBUTE_NORMAL)) ::DeleteFileA(m_strLocalFile.c_str());
  m_hFile.Reset(::CreateFileA(m_strLocalFile.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr));
  return m_hFile ? nullptr : &kCannotCreateFile;
}

// A read waits until its whole buffer is filled (or the body ends), so a slow body would look
// silent for as long as a buffer takes to fill. Asking first how much has arrived (which waits
// for the next bytes) lets each read take just that, and every byte count as a sign of life.
// False when the connection fails.
bool CDownloadWorker::AwaitBody(DWORD dwMaxPiece, DWORD& dwPiece) {
  DWORD dwAvailable = 0;
  if (!::InternetQueryDataAvailable(Request(), &dwAvailable, 0, 0)) return false;
  // Nothing available means the end: the read then confirms it.
  dwPiece = dwAvailable == 0 || dwAvailable > dwMaxPiece ? dwMaxPiece : dwAvailable;
  return true;
}

// 9. Pieces of at most 4096 bytes until a read delivers none. A body that ends before its
// announced length was cut off, not completed.
const DownloadFailure* CDownloadWorker::ReceiveBody() {
  DownloadJob& job = *m_job;
  char szReadBuf[kReadPiece + 1];
  INTERNET_BUFFERSA netBuf;
  std::uint64_t received = 0;
  int lastPosition = -1;
  for (;;) {
    DWORD dwPiece = 0;
    if (!AwaitBody(kReadPiece, dwPiece)) return &kReadFailed;
    ZeroMemory(&netBuf, sizeof netBuf);
    netBuf.dwStructSize = sizeof netBuf;
    netBuf.lpvBuffer = szReadBuf;
    netBuf.dwBufferLength = dwPiece;
    if (!::InternetReadFileExA(Request(), &netBuf, IRF_ASYNC, 0)) return &kReadFailed;
    if (job.IsCancelled()) return &kGivenUp;
    const DWORD n = netBuf.dwBufferLength < kReadPiece ? netBuf.dwBufferLength : kReadPiece;
    if (n == 0) break;
    job.MarkActivity();
    if (IsFileMode()) {
      DWORD written = 0;
      if (!::WriteFile(m_hFile.Get(), szReadBuf, n, &written, nullptr) || written != n) return &kWriteFailed;
      if (job.m_pHasher) job.m_pHasher->Update(szReadBuf, n);
      job.m_nBodyBytes += n;
    } else {
      if (job.m_strResult.size() + n > CInternetFileDown::kMaxTextBody) return &kReadFailed;
      job.m_strResult.append(szReadBuf, n);
    }
    received += n;
    if (IsFileMode() && m_nExpected != 0) {
      // Each move is a message to another thread: only a new percentage is worth one.
      const int position = ProgressPercent(received, m_nExpected);
      if (position != lastPosition) {
        lastPosition = position;
        job.RunWithOwner([position](CInternetFileDown& owner) { owner.SetProgress(position); });
      }
    }
  }
  if (!m_bDrained && m_nExpected != 0 && received < m_nExpected) return &kReadFailed;
  return nullptr;
}

const DownloadFailure* CDownloadWorker::CloseSink() {
  if (m_hFile && !::CloseHandle(m_hFile.Release())) return &kWriteFailed;
  return nullptr;
}

// 10. Hand the result over: the finished file (an empty entry in text mode), then the event.
UINT CDownloadWorker::Complete() {
  DownloadJob& job = *m_job;
  job.CloseInternetHandles();
  crypto::Sha256Digest digest{};
  const bool bHashed = job.m_pHasher && job.m_pHasher->Finish(digest);
  job.RunWithOwner([&](CInternetFileDown& owner) {
    // Before the file is listed, so whoever finds the file finds its digest.
    if (bHashed) owner.RecordDigest(digest, job.m_nBodyBytes);
    owner.FinishJob(m_strLocalFile, job.m_bExecute);
  });
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
    return worker.Fail(kReadFailed);
  }
}
