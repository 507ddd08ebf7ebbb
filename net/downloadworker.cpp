#include "net/downloadworker.h"

#include <wininet.h>

#include <cstdint>
#include <cstdlib>
#include <memory>
#include <new>
#include <string>
#include <vector>
#include <algorithm>

#include "framework/log.h"
#include "framework/modulepath.h"
#include "framework/scopedhandle.h"
#include "framework/wholefile.h"
#include "localstate/filehelpers.h"
#include "net/contentrange.h"
#include "net/downloadfailure.h"
#include "net/downloadjob.h"
#include "net/downloadname.h"
#include "net/internetfiledown.h"
#include "net/parseurl.h"
#include "net/partialrecord.h"
#include "safename/safename.h"

using framework::WriteLog;

namespace {

const int kSendAttempts = 9;
const DWORD kSendRetryPauseMs = 100;
const DWORD kReadPiece = 4096;
const DWORD kDrainPiece = 50;
// A try that brought this much of a body counts as getting on; and however it gets on, a body is
// asked for at most this many times.
const std::uint64_t kProgressThatCounts = 256 * 1024;
const unsigned kMostTries = 64;

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
  // A body kept by an earlier try or run for the same pin: its bytes hashed, it is continued.
  const DownloadFailure* TakeUpPartial();
  bool KeepsPartial() const { return IsFileMode() && !m_job->m_strPartialFolder.empty(); }
  // The record of how far the body got; bytes on disk first, so it never claims more than is there.
  void WriteRecord();
  void DropPartial();
  UINT Complete();
  bool AwaitBody(DWORD dwMaxPiece, DWORD& dwPiece);
  // One request for the body, from the first missing byte when that can be proved the same file.
  const DownloadFailure* TryBody();
  bool MayTryAgain(const DownloadFailure& failure, unsigned attempt);
  void PauseBeforeTry(unsigned attempt);
  // The body begins again at byte 0: nothing on disk or hashed counts any longer.
  void StartBodyAgain();
  std::string QueryHeader(DWORD dwInfo);
  // For a 206 to a Range request: whether it continues the bytes on disk of the same file.
  bool ContinuesBody();

  bool IsFileMode() const { return !m_job->IsTextMode(); }
  HINTERNET Request() const { return m_job->Get(DownloadJob::kRequest); }

  std::shared_ptr<DownloadJob> m_job;
  std::string m_strRemoteFile;
  std::string m_strLocalFile;
  bool m_bSentBefore = false;  // a request of this job went out already
  bool m_bSafeFileName = true;
  unsigned long m_dwServiceType = 0;
  std::string m_sServer;
  std::string m_sObject;
  unsigned short m_nPort = 0;
  std::uint64_t m_nExpected = 0;  // Content-Length, 0 when unknown
  bool m_bDrained = false;        // an authentication reply was read and thrown away
  framework::UniqueHandle m_hFile;  // FileToWrite
  bool m_bFileCreated = false;      // this job created m_strLocalFile
  // Resuming a body: the validator of the answer that began it (a strong ETag, else its
  // Last-Modified; empty: cannot be resumed), the whole body's size, and the byte this try asked
  // to start from (0: the whole body).
  std::string m_strETag;
  std::string m_strLastModified;
  std::uint64_t m_nWholeBody = 0;
  std::uint64_t m_nAskedFrom = 0;
  bool m_bRestartBody = false;  // the answer is the whole body again: what is on disk goes
  // A kept body: written to m_strSinkFile in the partial folder and moved to m_strLocalFile once
  // whole. Otherwise m_strSinkFile is m_strLocalFile.
  std::string m_strSinkFile;
  std::string m_strRecordFile;
  std::uint64_t m_nRecordedBytes = 0;
};


UINT CDownloadWorker::Run() {
  static const Step kSteps[] = {
      &CDownloadWorker::ChooseLocalFile, &CDownloadWorker::SplitUrl, &CDownloadWorker::OpenInternet,
      &CDownloadWorker::Connect,         &CDownloadWorker::TakeUpPartial, &CDownloadWorker::TryBody,
      &CDownloadWorker::CloseSink,
  };
  for (const Step step : kSteps) {
    if (const DownloadFailure* failure = (this->*step)()) return Fail(*failure);
    m_job->MarkActivity();
  }
  return Complete();
}

const DownloadFailure* CDownloadWorker::TryBody() {
  static const Step kTrySteps[] = {
      &CDownloadWorker::OpenRequest, &CDownloadWorker::SendRequest, &CDownloadWorker::ReadHeaders,
      &CDownloadWorker::OpenSink,    &CDownloadWorker::ReceiveBody,
  };
  // Tries count since the last one that got on: a flaky link that keeps bringing the body
  // closer may break off again and again, one that brings nothing gives up after a few tries.
  unsigned attempt = 0;
  for (unsigned tries = 1;; ++tries) {
    const std::uint64_t before = m_job->m_nBodyBytes;
    const DownloadFailure* failure = nullptr;
    for (const Step step : kTrySteps) {
      failure = (this->*step)();
      if (failure) break;
      m_job->MarkActivity();
    }
    attempt = m_job->m_nBodyBytes >= before + kProgressThatCounts ? 1 : attempt + 1;
    if (!failure || !MayTryAgain(*failure, attempt) || tries >= kMostTries) return failure;
    if (KeepsPartial() && m_hFile) WriteRecord();
    WriteLog("%s: try %u of the body broke off at byte %llu; asking again\n", m_strRemoteFile.c_str(), tries,
             static_cast<unsigned long long>(m_job->m_nBodyBytes));
    m_job->CloseInternetHandle(DownloadJob::kRequest);
    PauseBeforeTry(attempt);
    if (m_job->IsCancelled()) return &kGivenUp;
  }
}

// Only a body that broke off (a receive error, a close before its length, an answer that does
// not continue it) is asked for again; everything else fails as it did.
bool CDownloadWorker::MayTryAgain(const DownloadFailure& failure, unsigned attempt) {
  return IsFileMode() && &failure == &kReadFailed && !m_bDrained && !m_job->IsCancelled() &&
         attempt < m_job->m_nBodyAttempts;
}

void CDownloadWorker::PauseBeforeTry(unsigned attempt) {
  DWORD dwPause = m_job->m_dwFirstRetryPauseMs;
  for (unsigned i = 1; i < attempt && dwPause < 60000; ++i) dwPause *= 2;
  // Our own silence: the waiting side must not take it for a dead transfer.
  for (DWORD waited = 0; waited < dwPause && !m_job->IsCancelled(); waited += 100) {
    m_job->MarkActivity();
    ::Sleep(dwPause - waited < 100 ? dwPause - waited : 100);
  }
  m_job->MarkActivity();
}

void CDownloadWorker::StartBodyAgain() {
  DownloadJob& job = *m_job;
  if (job.m_pHasher) job.m_pHasher.reset(new (std::nothrow) crypto::CSha256Hasher());
  job.m_nBodyBytes = 0;
  m_bRestartBody = true;
  // The bytes on disk are about to go: a record of them would be a lie.
  if (KeepsPartial()) ::DeleteFileA(m_strRecordFile.c_str());
  m_nRecordedBytes = 0;
}

std::string CDownloadWorker::QueryHeader(DWORD dwInfo) {
  char szValue[512] = {};
  DWORD dwLength = sizeof szValue - 1;
  if (!::HttpQueryInfoA(Request(), dwInfo, szValue, &dwLength, nullptr)) return std::string();
  return std::string(szValue, dwLength < sizeof szValue ? dwLength : sizeof szValue - 1);
}

bool CDownloadWorker::ContinuesBody() {
  ContentRange range;
  if (!ParseContentRange(QueryHeader(HTTP_QUERY_CONTENT_RANGE).c_str(), range)) return false;
  if (range.first != m_nAskedFrom || range.last + 1 != range.total || range.total != m_nWholeBody) return false;
  if (m_nExpected != 0 && m_nExpected != range.total - range.first) return false;
  // A server that answers the range of another file, If-Range notwithstanding.
  const std::string etag = QueryHeader(HTTP_QUERY_ETAG);
  if (!m_strETag.empty() && !etag.empty() && etag != m_strETag) return false;
  return true;
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
  // A partly written file is closed and left in place; a kept one with its record, for the next
  // try or run to continue.
  if (KeepsPartial() && m_hFile && !failure.bRemovesFile) WriteRecord();
  m_hFile.Reset();
  if (failure.bRemovesFile && m_bFileCreated) ::DeleteFileA(m_strSinkFile.c_str());
  if (failure.bRemovesFile && KeepsPartial()) DropPartial();
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
  m_strSinkFile = m_strLocalFile;
  if (KeepsPartial()) {
    CreateDirectoryTree(m_job->m_strPartialFolder);
    m_strSinkFile = m_job->m_strPartialFolder + PartialBodyName(m_job->m_strPinnedSha256);
    m_strRecordFile = m_job->m_strPartialFolder + PartialRecordName(m_job->m_strPinnedSha256);
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
  // The first missing byte of a body that broke off, when its validator lets the server prove it
  // is still the same file; without one the whole body is asked for again.
  m_nAskedFrom = 0;
  std::string headers;
  const std::string& validator = m_strETag.empty() ? m_strLastModified : m_strETag;
  if (IsFileMode() && m_job->m_nBodyBytes != 0 && !validator.empty() && m_nWholeBody > m_job->m_nBodyBytes) {
    m_nAskedFrom = m_job->m_nBodyBytes;
    // The first request of a job that took up a kept body continues it; only later ones follow a break.
    if (m_bSentBefore) ++m_job->m_nRangeRequests;
    headers = "Range: bytes=" + std::to_string(m_nAskedFrom) + "-\r\nIf-Range: " + validator + "\r\n";
  } else if (m_job->m_nBodyBytes != 0) {
    StartBodyAgain();
  } else if (!IsFileMode()) {
    // A text the caller holds a copy of is sent only if it changed since.
    headers = m_job->m_known.ConditionalHeaders();
  }
  m_bSentBefore = true;
  for (int attempt = 1; attempt <= kSendAttempts; ++attempt) {
    if (::HttpSendRequestA(Request(), headers.empty() ? nullptr : headers.c_str(),
                           static_cast<DWORD>(headers.size()), nullptr, 0))
      return nullptr;
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
  if (!IsFileMode() && status == HTTP_STATUS_NOT_MODIFIED && !m_job->m_known.ConditionalHeaders().empty()) {
    // The caller's copy is current: there is no body to read.
    m_job->m_bNotModified = true;
    return nullptr;
  }
  if (m_nAskedFrom != 0) {
    // The rest of the body, or the whole body again; any other answer means starting over.
    if (status == HTTP_STATUS_PARTIAL_CONTENT && ContinuesBody()) return nullptr;
    StartBodyAgain();
    if (status != HTTP_STATUS_OK) {
      WriteLog("%s: the server did not continue the body (status %ld); starting over\n", m_strRemoteFile.c_str(),
               status);
      return &kReadFailed;
    }
  }
  if (status != HTTP_STATUS_OK && status != HTTP_STATUS_PARTIAL_CONTENT) return &kBadStatus;
  if (!IsFileMode() && status == HTTP_STATUS_OK) {
    // What a later request presents to learn whether this text changed; a value that could not be
    // sent back safely is not kept.
    HttpValidator& answer = m_job->m_answer;
    answer.strETag = QueryHeader(HTTP_QUERY_ETAG);
    answer.strLastModified = QueryHeader(HTTP_QUERY_LAST_MODIFIED);
    if (!IsSafeValidatorValue(answer.strETag)) answer.strETag.clear();
    if (!IsSafeValidatorValue(answer.strLastModified)) answer.strLastModified.clear();
  }
  if (IsFileMode()) {
    // The answer that begins the body: what a later try must find again to continue it.
    const std::string etag = QueryHeader(HTTP_QUERY_ETAG);
    m_strETag = etag.compare(0, 2, "W/") == 0 ? std::string() : etag;
    m_strLastModified = QueryHeader(HTTP_QUERY_LAST_MODIFIED);
    m_nWholeBody = m_job->m_bPinnedSize ? m_job->m_nMaxBody : (haveLength ? m_nExpected : 0);
    // A 206 nobody asked for is taken as a whole body, but never continued.
    if (status == HTTP_STATUS_PARTIAL_CONTENT) m_strETag.clear(), m_strLastModified.clear();
  }
  // A body that cannot be the one wanted is refused before a byte of it is written.
  if (IsFileMode() && m_job->m_bPinnedSize && (!haveLength || m_nExpected == m_job->m_nMaxBody)) return nullptr;
  if (IsFileMode() && m_job->m_bPinnedSize) return &kLengthNotPinned;
  if (IsFileMode() && m_job->m_nMaxBody != 0 && m_nExpected > m_job->m_nMaxBody) return &kBodyTooLong;
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
  m_job->StartPace();
  if (m_hFile) {
    // A later try: the bytes so far stay unless the answer begins the body again.
    if (!m_bRestartBody) return nullptr;
    m_bRestartBody = false;
    LARGE_INTEGER zero{};
    if (!::SetFilePointerEx(m_hFile.Get(), zero, nullptr, FILE_BEGIN) || !::SetEndOfFile(m_hFile.Get()))
      return &kWriteFailed;
    return nullptr;
  }
  m_bRestartBody = false;
  if (::SetFileAttributesA(m_strSinkFile.c_str(), FILE_ATTRIBUTE_NORMAL)) ::DeleteFileA(m_strSinkFile.c_str());
  m_hFile.Reset(::CreateFileA(m_strSinkFile.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!m_hFile) return &kCannotCreateFile;
  m_bFileCreated = true;
  if (KeepsPartial()) WriteRecord();
  return nullptr;
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
  if (job.m_bNotModified) return nullptr;
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
      // The first byte past the pinned size (or the bound) fails the body; none of it is written.
      if ((job.m_bPinnedSize || job.m_nMaxBody != 0) && job.m_nBodyBytes + n > job.m_nMaxBody) return &kBodyTooLong;
      DWORD written = 0;
      if (!::WriteFile(m_hFile.Get(), szReadBuf, n, &written, nullptr) || written != n) return &kWriteFailed;
      if (job.m_pHasher) job.m_pHasher->Update(szReadBuf, n);
      job.m_nBodyBytes += n;
      job.m_nReceivedBytes += n;
      if (KeepsPartial() && job.m_nBodyBytes - m_nRecordedBytes >= job.m_nRecordEveryBytes) WriteRecord();
      job.CountBodyBytes(n);
      if (job.TooSlow()) return &kBodyTooSlow;
    } else {
      if (job.m_strResult.size() + n > CInternetFileDown::kMaxTextBody) return &kReadFailed;
      job.m_strResult.append(szReadBuf, n);
    }
    received += n;
    if (IsFileMode() && m_nExpected != 0) {
      // Each move is a message to another thread: only a new percentage is worth one.
      const int position = ProgressPercent(m_nAskedFrom + received, m_nAskedFrom + m_nExpected);
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
  if (!KeepsPartial() || m_bDrained) return nullptr;
  // Whole (the caller checks it against its pin): no longer a partial body.
  ::DeleteFileA(m_strRecordFile.c_str());
  if (::SetFileAttributesA(m_strLocalFile.c_str(), FILE_ATTRIBUTE_NORMAL)) ::DeleteFileA(m_strLocalFile.c_str());
  if (!::MoveFileExA(m_strSinkFile.c_str(), m_strLocalFile.c_str(), MOVEFILE_COPY_ALLOWED | MOVEFILE_REPLACE_EXISTING)) {
    ::DeleteFileA(m_strSinkFile.c_str());
    return &kWriteFailed;
  }
  return nullptr;
}

const DownloadFailure* CDownloadWorker::TakeUpPartial() {
  if (!KeepsPartial()) return nullptr;
  DownloadJob& job = *m_job;
  std::string text;
  {
    framework::UniqueHandle record(::CreateFileA(m_strRecordFile.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                                 OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!record) {
      ::DeleteFileA(m_strSinkFile.c_str());  // a body without its record proves nothing
      return nullptr;
    }
    char buffer[4096];
    DWORD n = 0;
    while (text.size() < 64 * 1024 && ::ReadFile(record.Get(), buffer, sizeof buffer, &n, nullptr) && n != 0)
      text.append(buffer, n);
  }
  PartialRecord kept;
  const bool bParsed = kept.Parse(text);
  framework::UniqueHandle body;
  LARGE_INTEGER size{};
  if (bParsed && kept.CanContinue(job.m_nMaxBody, job.m_strPinnedSha256)) {
    body.Reset(::CreateFileA(m_strSinkFile.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                             OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  }
  if (!body || !::GetFileSizeEx(body.Get(), &size) || static_cast<std::uint64_t>(size.QuadPart) < kept.nBytesOnDisk) {
    WriteLog("%s: the kept partial download does not match its package; starting from zero\n",
             m_strRemoteFile.c_str());
    body.Reset();
    DropPartial();
    return nullptr;
  }
  // The bytes the record vouches for go through the hash first; anything past them is cut off.
  std::vector<char> buffer(64 * 1024);
  std::uint64_t hashed = 0;
  while (hashed < kept.nBytesOnDisk) {
    const DWORD want = static_cast<DWORD>(std::min<std::uint64_t>(buffer.size(), kept.nBytesOnDisk - hashed));
    DWORD got = 0;
    if (!::ReadFile(body.Get(), buffer.data(), want, &got, nullptr) || got != want) {
      body.Reset();
      DropPartial();
      return nullptr;
    }
    if (job.m_pHasher) job.m_pHasher->Update(buffer.data(), got);
    hashed += got;
    if (job.IsCancelled()) return &kGivenUp;
    job.MarkActivity();
  }
  if (!::SetEndOfFile(body.Get())) {
    body.Reset();
    DropPartial();
    return nullptr;
  }
  WriteLog("%s: continuing the partial download kept by an earlier run at byte %llu\n", m_strRemoteFile.c_str(),
           static_cast<unsigned long long>(kept.nBytesOnDisk));
  m_hFile = std::move(body);
  m_bFileCreated = true;
  job.m_nBodyBytes = kept.nBytesOnDisk;
  job.m_nKeptBytesTaken = kept.nBytesOnDisk;
  m_nRecordedBytes = kept.nBytesOnDisk;
  m_strETag = kept.strETag;
  m_strLastModified = kept.strLastModified;
  m_nWholeBody = job.m_nMaxBody;
  return nullptr;
}

void CDownloadWorker::WriteRecord() {
  DownloadJob& job = *m_job;
  if (m_hFile && !::FlushFileBuffers(m_hFile.Get())) return;
  PartialRecord record;
  record.strUrl = m_strRemoteFile;
  record.nPinnedSize = job.m_nMaxBody;
  record.strPinnedSha256 = job.m_strPinnedSha256;
  record.strETag = m_strETag;
  record.strLastModified = m_strLastModified;
  record.nBytesOnDisk = job.m_nBodyBytes;
  DWORD dwError = 0;
  if (framework::ReplaceFileWhole(m_strRecordFile, record.Format(), dwError)) m_nRecordedBytes = job.m_nBodyBytes;
}

void CDownloadWorker::DropPartial() {
  ::DeleteFileA(m_strRecordFile.c_str());
  ::DeleteFileA(m_strSinkFile.c_str());
  m_nRecordedBytes = 0;
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
    owner.RecordTransfer({job.m_nKeptBytesTaken, job.m_nRangeRequests, job.m_nReceivedBytes});
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
