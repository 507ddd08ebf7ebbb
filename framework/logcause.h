// The short words a diagnostic line gives its cause in, so that support can sort lines from many
// machines without reading Korean or knowing the code (README: "For support").
#pragma once

namespace framework {

namespace cause {
constexpr char kNet[] = "[net]";              // the server does not answer, or the connection broke
constexpr char kServer[] = "[server]";        // an answer, but not the file (a status, a page)
constexpr char kSignature[] = "[signature]";  // the document refused: signature, release, record
constexpr char kPackage[] = "[package]";      // not the package the document pins, or no package
constexpr char kHeld[] = "[held]";            // a file held open by another program
constexpr char kAccess[] = "[access]";        // the system denied access
constexpr char kDisk[] = "[disk]";            // no room, or a file could not be written
constexpr char kJournal[] = "[journal]";      // an installation journal the repair had to keep
constexpr char kSystem[] = "[system]";        // another refusal of the system (its error code follows)
constexpr char kUnexpected[] = "[unexpected]";  // a failure the program did not foresee
}  // namespace cause

// The cause word for a Windows error code (GetLastError).
const char* CauseOfSystemError(unsigned long nError);

}  // namespace framework
