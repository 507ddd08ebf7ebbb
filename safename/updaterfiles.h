// The files and folders the updater keeps beside itself, in the client's installation folder
// (<TARGETDIR>). An install job must never write over them: the journal, the set-aside files and
// the release record are what make an update safe, and the program itself is running.
#pragma once
#include <string_view>

constexpr char kUpdaterProgramName[] = "TalvoUpdate.exe";
constexpr char kStagingFolderName[] = "Update";
constexpr char kInstallJournalName[] = "Update.journal";
constexpr char kSetAsideFolderName[] = "Update.backup";
constexpr char kReleaseRecordName[] = "Update.release";
// The release keys trusted after the key changes applied here (localstate/keyrecord.h).
constexpr char kKeyRecordName[] = "Update.keys";
// The SHA-256 of each delta package that failed here, one a line: never tried again.
constexpr char kBadDeltaListName[] = "Update.baddeltas";
constexpr char kPartialFolderName[] = "Update.partial";
// The last information document received, as it came (before its checks): for support's bundle.
constexpr char kLastDocumentName[] = "Update.lastdocument";
// The validators of the answer that brought the last document, kept only once that document was
// accepted: the next start asks for the document only if it changed since.
constexpr char kLastDocumentValidatorName[] = "Update.lastdocument.validator";
constexpr char kRolloutValueName[] = "Update.rollout";
// The kept log for support, and the older one it is renamed to at its size.
constexpr char kKeptLogName[] = "Update.log";
constexpr char kOlderKeptLogName[] = "Update.log.1";

// True for one of the names above, and for any name "Update.<anything>": the updater's own
// files beside it all take that form, their temporary names included. Compared as Windows
// compares names (case, trailing dots and blanks do not count).
bool IsUpdaterOwnName(std::string_view name);
