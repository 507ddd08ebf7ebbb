// The log kept on disk for support: WriteLog's lines, each with its time and the writing process
// and thread, appended to one file across runs and renamed to FILE.1 (replacing the older one) once
// it reaches its size. Keeping it never fails anything: a folder that cannot be written or a full
// disk only loses lines. Writers of every process that keeps the same file take turns, so no line
// is ever cut or interleaved with another.
#pragma once
#include <string>

namespace framework {

// Where WriteLog's lines are kept from now on; empty stops keeping them. Test programs keep none.
void SetKeptLogPath(const std::string& strPath);
const std::string& GetKeptLogPath();

// The size at which the kept log is renamed and a new one begun.
constexpr unsigned long long kKeptLogRotateBytes = 1ull << 20;

// One kept line, as written: "YYYY-MM-DD hh:mm:ss.mmm pid.tid text" ending with CR LF; the text's
// line breaks become blanks, a URL's user name and password are left out, and so is the Windows
// user's name (strProfileFolder, e.g. "C:\Users\kim", becomes "%USERPROFILE%"; a path segment
// that is strUserName becomes "<user>"; both ignoring case).
std::string FormatKeptLogLine(const std::string& strTimestamp, unsigned long nProcessId, unsigned long nThreadId,
                              const std::string& strText, const std::string& strProfileFolder = std::string(),
                              const std::string& strUserName = std::string());

// "user:password@" and "user@" taken out of every address in the text.
std::string RemoveUrlCredentials(const std::string& strText);

// Appends the text as one line (WriteLog calls this once a path is set).
void KeepLogLine(const std::string& strText);

}  // namespace framework
