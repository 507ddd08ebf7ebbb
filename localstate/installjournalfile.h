// The installation journal on disk: each record appended and flushed to the disk before the
// change it announces is made, and the repair that reads it back at start-up.
#pragma once
#include <windows.h>

#include <string>

#include "framework/scopedhandle.h"
#include "journal/installjournal.h"

class CInstallJournalFile {
 public:
  // Starts an empty journal at strPath. FALSE when it cannot be created, and when a journal is
  // already there: that one still waits for its repair and is never replaced.
  BOOL Create(const std::string& strPath);
  // Opens the journal at strPath for the repair's own records, cutting off whatever follows its
  // first nKeep bytes (a line the step was writing when it ended).
  BOOL OpenForRepair(const std::string& strPath, unsigned long nKeep);
  // TRUE once the record's line is on the disk (FlushFileBuffers).
  BOOL Append(const journal::Record& record);
  // The repair reads and deletes the journal once it is closed.
  void Close() { m_hFile.Reset(); }

 private:
  framework::UniqueHandle m_hFile;
};

struct JournalRepairResult {
  enum Outcome {
    kNoJournal,   // nothing was interrupted
    kRolledBack,  // an unfinished step was undone
    kFinished,    // a complete step's set-aside files were removed
    kKept,        // damaged, or a step of the repair failed: journal and set-aside files stay
  };
  Outcome outcome = kNoJournal;
  int nKind = 0;                // the component of the step, when the journal named one
  std::string strVersion;
  std::string strDetail;        // what failed, for the log
};

// Reads the journal at strPath (if any) and finishes or undoes the step it records. The journal
// is deleted only when the repair is complete.
JournalRepairResult RepairInstallation(const std::string& strJournalPath);

// One line for the log: what was repaired, or why nothing could be.
std::string DescribeRepair(const JournalRepairResult& result);
