// The record of one package's installation step, kept on disk beside the staging folder so that
// an interruption at any point (a crash, a power cut, the process ended) can be undone at the
// next start. Every change is recorded, and the record flushed, before the change is made; the
// step is complete only once its commit line is in the file.
//
// One line per record: the record's name and its fields separated by tabs, then the CRC-32 of
// everything before it on the line, then CR LF. A line the process was writing when it ended has
// no line end and stands for a change that was never made. Any other line that does not read back
// exactly makes the whole journal damaged: nothing is then undone or removed on its word.
//
// Portable: the Windows side writes the lines and carries out the repair plan.
#pragma once
#include <cstdint>
#include <string>
#include <variant>
#include <vector>

namespace journal {

// First line: the component the step installs and the folder its set-aside files go to.
struct Begin {
  int nKind = 0;
  std::string strVersion;
  std::string strBackupFolder;  // no trailing backslash
};
// An installed file the step replaces or deletes, moved aside (same volume) before the change.
struct SetAside {
  std::string strOriginal;
  std::string strBackup;  // inside the Begin's backup folder
};
// A file the step writes: first under the temporary name, then moved to its place. Where a file
// was there before, a SetAside for the same path comes first.
struct NewFile {
  std::string strPath;
  std::string strTemporary;
};
struct NewFolder {
  std::string strPath;
};
// An empty folder the step removed.
struct RemovedFolder {
  std::string strPath;
};
// A file or folder renamed by the step.
struct MovedPath {
  std::string strFrom;
  std::string strTo;
};
// A registry value as it was before the step changed or deleted it.
struct RegistryValue {
  std::string strRoot;  // the root names of install jobs: HKCU, HKLM, HKCR, HKU or HKCC
  std::string strSubKey;
  std::string strName;
  bool bExisted = false;
  uint32_t nType = 0;    // REG_* when it existed
  std::string strData;   // raw bytes when it existed
};
// A registry key the step created.
struct RegistryKey {
  std::string strRoot;
  std::string strSubKey;
};
// Every change of the step is in place and its version recorded.
struct Commit {};

using Record =
    std::variant<Begin, SetAside, NewFile, NewFolder, RemovedFolder, MovedPath, RegistryValue, RegistryKey, Commit>;

// One journal line, CR LF included.
std::string EncodeRecord(const Record& record);

enum class JournalState {
  kEmpty,      // no complete record: nothing was changed
  kOpen,       // begun, not committed: to be rolled back
  kCommitted,  // complete: only the set-aside files and temporaries are left to remove
  kDamaged,    // a line that does not read back, or records that cannot belong together
};

struct JournalReading {
  JournalState state = JournalState::kEmpty;
  std::vector<Record> records;  // empty when damaged
  std::string strProblem;       // for the log when damaged: which line and why
};

JournalReading ReadJournal(const std::string& strText);

// What the repair at start-up does, in this order. The Windows side carries the steps out and
// stops at the first that fails, keeping the journal and every set-aside file for the next start.
enum class RepairOp {
  kRemoveNewFile,       // delete strPath unless strGuard names a set-aside file that is missing
                        // (then the file at strPath is still the original: it stays)
  kRemoveFile,          // delete strPath if it exists (a temporary, a set-aside file no longer needed)
  kRestoreFile,         // move strGuard (the set-aside copy) back to strPath, replacing what is
                        // there; nothing to do when the copy is missing (the move never happened)
  kRemoveEmptyFolder,   // remove the folder strPath if it exists and is empty
  kCreateFolder,        // create the folder strPath again (its parents exist by then)
  kMoveBack,            // move strGuard back to strPath when strGuard exists and strPath does not
  kRestoreRegistryValue,  // put the value back as it was (deleted when it did not exist)
  kRemoveRegistryKey,   // delete the key if it exists and holds nothing
};

struct RepairStep {
  RepairOp op;
  std::string strPath;
  std::string strGuard;
  RegistryValue value;   // kRestoreRegistryValue
  RegistryKey key;       // kRemoveRegistryKey
};

// For an open journal: every recorded change undone, last first, then the set-aside files'
// folder removed once empty. For a committed one: the set-aside files and temporaries removed.
// Nothing for an empty or damaged journal.
std::vector<RepairStep> PlanRepair(const JournalReading& reading);

}  // namespace journal
