// The changes one installation step makes to installed files, folders and the registry, made so
// that the step can always be undone as a whole: each change is recorded in the journal (flushed
// to the disk) before it is made, an installed file is moved aside instead of being overwritten or
// deleted, and a new file is written under a temporary name and then moved into its place. Until
// Commit the step can be rolled back, here or, after an interruption, at the next start.
#pragma once
#include <windows.h>

#include <functional>
#include <string>
#include <vector>

#include "localstate/installjournalfile.h"

class CInstallTransaction {
 public:
  CInstallTransaction(std::string strJournalPath, std::string strSetAsideFolder);
  // A step neither committed nor rolled back is rolled back.
  ~CInstallTransaction();
  CInstallTransaction(const CInstallTransaction&) = delete;
  CInstallTransaction& operator=(const CInstallTransaction&) = delete;

  // Starts the journal of the step that installs version `strVersion` of component `nKind`.
  // Refused while a journal is there (one the repair kept): it is never replaced.
  BOOL Begin(int nKind, const std::string& strVersion);

  // Puts a copy of strSource at strTarget, its folders created; an installed file there is set
  // aside first. The source stays (on its volume the first copy may share its bytes, so the
  // source is only ever deleted, never written, afterwards; a second target of the same source
  // gets bytes of its own).
  BOOL InstallFileCopy(const std::string& strSource, const std::string& strTarget);
  // Sets the installed file aside; a missing file is no failure, a missing folder is (refused).
  BOOL RemoveFile(const std::string& strPath);
  // Creates the folder with every missing parent; an existing one is no failure.
  BOOL CreateFolderTree(const std::string& strPath);
  // Removes the folder and its empty subfolders; FALSE at the first file found (which stays),
  // and for a missing folder.
  BOOL RemoveEmptyFolderTree(const std::string& strPath);
  // Renames a file or folder (a file also to another volume); FALSE when the new path exists.
  BOOL MovePath(const std::string& strFrom, const std::string& strTo);
  // Records the value as it is now, before the caller changes or deletes it (root given by the
  // install jobs' root names). Every value of a key about to be deleted is recorded this way.
  BOOL WillChangeRegistryValue(const std::string& strRootName, const std::string& strSubKey,
                               const std::string& strName);
  // Records every key and value below the key (its whole tree), before the caller deletes it.
  BOOL WillDeleteRegistryKey(const std::string& strRootName, const std::string& strSubKey);
  // Records the levels of the key that do not exist yet, before the caller creates it.
  BOOL WillCreateRegistryKey(const std::string& strRootName, const std::string& strSubKey);

  // Registers a control once the step is committed (regsvr32 with these parameters); recorded,
  // so the repair starts it after an interruption past the commit.
  BOOL RegisterAfterCommit(const std::string& strParameters);
  // Unregisters a control now, against the file as it is, and waits for regsvr32; undoing the
  // step registers it again with strRegisterParameters.
  BOOL UnregisterNow(const std::string& strUnregisterParameters, const std::string& strRegisterParameters);

  // Something of the run itself (marking a line done, deleting a staged file), done in order once
  // the step is committed and dropped if it is rolled back.
  void RunAfterCommit(std::function<void()> action) { m_afterCommit.push_back(std::move(action)); }

  // Every change is in place: the step is complete; set-aside files are removed and the
  // registrations started (by the repair of the committed journal), then the actions left for
  // after the commit run.
  BOOL Commit();
  // Undoes every change made so far. FALSE when something could not be put back; the journal
  // then stays for the repair at the next start.
  BOOL Rollback();

  // Why the last change failed for a reason of the system (a file held open, a full disk, access
  // denied, the journal not written), for the user; empty when a change was only refused (a
  // folder not empty, a new path that exists) or nothing failed since ClearFailure.
  const std::string& GetFailure() const { return m_strFailure; }
  void ClearFailure() {
    m_strFailure.clear();
    m_strBlockedFile.clear();
    m_nFailureError = 0;
  }
  // The Windows error code of that failure (GetLastError), 0 when there is none.
  unsigned long GetFailureError() const { return m_nFailureError; }
  // The file the last change could not replace or remove, or empty.
  const std::string& GetBlockedFile() const { return m_strBlockedFile; }

  // Test programs end the process at a given point of the step (every journal line and every
  // change is one), to show that any interruption can be repaired.
  using PointHook = std::function<void(int nPoint)>;
  void SetPointHook(PointHook hook) { m_pointHook = std::move(hook); }
  // The same for every step the process makes that has no hook of its own (a test program sets it
  // before anything is installed).
  static void SetProcessPointHook(PointHook hook);

 private:
  BOOL Record(const journal::Record& record);
  void Point();
  BOOL Fail(const std::string& strWhat, const std::string& strPath);
  BOOL SetAside(const std::string& strPath);
  BOOL SetAsideAcrossVolumes(const std::string& strPath, const std::string& strBackup);
  BOOL RecordKeyTree(HKEY hRoot, const std::string& strRootName, const std::string& strSubKey);

  std::string m_strJournalPath;
  std::string m_strSetAsideFolder;
  CInstallJournalFile m_journal;
  bool m_bOpen = false;
  int m_nSetAside = 0;
  std::vector<std::string> m_linkedSources;  // staged files already linked into place
  int m_nPoint = 0;
  std::string m_strFailure;
  std::string m_strBlockedFile;
  unsigned long m_nFailureError = 0;
  PointHook m_pointHook;
  std::vector<std::function<void()>> m_afterCommit;
};

// The programs the system says hold the file open (Restart Manager), e.g. "Talvo.exe"; empty when
// it cannot tell.
std::string DescribeFileHolders(const std::string& strPath);

// Whether the volume of strFolder has nBytes free for the caller; the free bytes in *pnFree.
BOOL HasFreeSpace(const std::string& strFolder, unsigned long long nBytes, unsigned long long* pnFree);
