// The failure table of a transfer: for each way a job can fail, the line handed to WriteLog,
// whether the error flag is set and whether a file-mode URL goes back into the queue. A text-mode
// job is never re-queued; its caller sees an empty text after its time-out.
#pragma once

struct DownloadFailure {
  const char* szLine;     // for WriteLog, or null
  bool bNamesLocalFile;   // szLine is a format taking the local file's path
  bool bSetError;
  bool bRequeue;
  bool bRemovesFile = false;  // file mode: the partly written file is deleted, not left in place
};

extern const DownloadFailure kUrlNotSplit;          // 1: not a URL, even with "http://" in front
extern const DownloadFailure kInternetNotOpened;    // 2: InternetOpenA
extern const DownloadFailure kNotConnected;         // 3: InternetConnectA
extern const DownloadFailure kRequestNotOpened;     // 4: HttpOpenRequestA, or a certificate that does not verify
extern const DownloadFailure kSendFailedNineTimes;  // each attempt logged kLineTooManyUsers itself
extern const DownloadFailure kNoStatus;             // 5: the status code query
extern const DownloadFailure kBadStatus;            // 6: not 200, 206, 401 or 407
extern const DownloadFailure kCannotCreateFile;     // the local file (or an unsafe name for it)
extern const DownloadFailure kReadFailed;           // 7: a read, a body cut short, silence past the idle limit
extern const DownloadFailure kWriteFailed;          // writing or closing the local file
extern const DownloadFailure kBodyTooLong;         // past the pinned size (or the unpinned bound); file removed
extern const DownloadFailure kLengthNotPinned;     // Content-Length not the pinned size: nothing written
extern const DownloadFailure kBodyTooSlow;         // the body did not keep its pace
extern const DownloadFailure kGivenUp;              // cancelled by the caller: nothing to report

extern const char kLineTooManyUsers[];
extern const char kLineReadingHeader[];  // format taking the URL

// For the run's line on a package: the cause word (framework/logcause.h) and a short English
// name of the row.
const char* DownloadFailureCause(const DownloadFailure& failure);
const char* DownloadFailureName(const DownloadFailure& failure);
