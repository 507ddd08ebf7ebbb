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
// An installed file the step replaces or deletes, moved aside before the change. From another
// volume it is copied to strBackup + kPartialSuffix, flushed, renamed to strBackup and only then
// deleted, so strBackup, once there, is always a whole copy.
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
// A registry key the step deleted (with its tree: one record per key, parents first, each followed
// by its values).
struct RemovedRegistryKey {
  std::string strRoot;
  std::string strSubKey;
};
// regsvr32 to be started with these parameters once the step is committed (registering a new
// control); the repair of a committed step starts it until the journal is gone.
struct RegisterAfterCommit {
  std::string strParameters;
};
// A control unregistered during the step; undoing the step registers it again with these
// parameters (after its file is back).
struct Unregistered {
  std::string strRegisterParameters;
};
// Written by the repair itself: the first nSteps steps of the repair plan are done, so a repair
// cut off and run again goes on from there instead of undoing anything twice.
struct Repaired {
  uint32_t nSteps = 0;
};

using Record = std::variant<Begin, SetAside, NewFile, NewFolder, RemovedFolder, MovedPath, RegistryValue, RegistryKey,
                            Commit, RemovedRegistryKey, RegisterAfterCommit, Unregistered, Repaired>;

extern const char kPartialSuffix[];

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
                        // there; nothing to do when the copy is missing (the move never happened).
                        // An unfinished copy strGuard + kPartialSuffix is deleted first.
  kRemoveEmptyFolder,   // remove the folder strPath if it exists and is empty
  kCreateFolder,        // create the folder strPath again (its parents exist by then)
  kMoveBack,            // move strGuard back to strPath when strGuard exists and strPath does not;
                        // when both exist, strGuard is a copy across volumes that never finished
                        // (the rename's new path did not exist before): it is deleted
  kRestoreRegistryValue,  // put the value back as it was (deleted when it did not exist)
  kRemoveRegistryKey,   // delete the key if it exists and holds nothing
  kCreateRegistryKey,   // create the key again (a key the step deleted)
  kStartRegsvr32,       // start regsvr32 with the parameters strPath
};

struct RepairStep {
  RepairOp op;
  std::string strPath;
  std::string strGuard;
  RegistryValue value;   // kRestoreRegistryValue
  RegistryKey key;       // kRemoveRegistryKey
};

// For an open journal: every recorded change undone, last first, then the set-aside files'
// folder removed once empty. For a committed one: the set-aside files and temporaries removed,
// then the registrations started. Nothing for an empty or damaged journal. The steps that
// Repaired records count as done are left out: the Windows side writes one after each step, so
// running the repair again, or after a cut anywhere inside it, ends as running it once.
std::vector<RepairStep> PlanRepair(const JournalReading& reading);
// How many steps of the whole plan the Repaired records count as done.
uint32_t CountRepairedSteps(const JournalReading& reading);

}  // namespace journal
