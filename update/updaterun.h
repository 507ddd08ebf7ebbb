// One update run: for each entry taken when the run started, in order, download -> extract ->
// install -> clean up, on the caller's thread (the update window's worker) and with no window in
// it. What happens is told to an IUpdateRunSink; how the run ended is its result.
#pragma once
#include <windows.h>

#include <string>
#include <vector>

#include "archive/zipfile.h"
#include "catalogue/deltaoffer.h"
#include "catalogue/packagepin.h"
#include "net/downloadtimings.h"
#include "net/downloadtransfer.h"
#include "update/installscript.h"
#include "update/updaterunsink.h"

class CInternetFileDown;
class CProjectData;
struct DownloadFailure;

// One component as the run takes it from the update window's rows.
struct RunEntry {
  std::string strLabel;    // what the user knows it by ("Talvo Ver 3.41", an extra project's name)
  int nKind = 0;           // ComponentKind
  std::string strVersion;  // the version it brings (recorded by its install step)
  std::string strUrl;      // its package
  PackagePin pin;          // the signed document's size and SHA-256 of the package
  std::string strProgram;  // an extra project's PRO_EXE, started once it is installed
};

struct RunSettings {
  // Emptied when the run begins and ends. Each entry's package arrives and unpacks in a fresh
  // folder of its own below it, and its install step takes files from there only.
  std::string strStagingFolder;  // ending with a backslash
  bool bCheckPackages = false;   // each package must match its pin before anything is extracted
  bool bUpdateProgram = false;   // the client program is among the outdated components
  // The option file is moved aside once, after the first package of a run that updates the
  // client; cleared when done. Shared with the start-up's decision, hence the pointer.
  volatile BOOL* pOptionBackup = nullptr;
  DownloadTimings downloadTimings;  // the product's; test programs shorten them
  // Where a pinned package that broke off is kept for the next run to continue ("": nowhere).
  // What it holds for packages this run does not offer is removed when the run begins.
  std::string strPartialFolder;  // ending with a backslash
};

// How one entry ended. kFailedUnexpectedly: the run itself failed under it (out of memory, say).
enum class EntryResult { kInstalled, kNotFetched, kNotExtracted, kNotInstalled, kFailedUnexpectedly };

// The download step: the file, or the failure row the downloader applied last (null when it
// applied none, e.g. a 401 answer taken as an empty file).
struct FetchResult {
  std::string strFile;
  const DownloadFailure* pFailure = nullptr;
  bool bPinMismatch = false;  // arrived, but not the package the signed document pins
  DownloadTransfer transfer;   // how it came, when it arrived
};

// The extract step.
struct ExtractResult {
  enum class Stop { kNone, kNotAPackage, kUnsafeEntry, kTargetTooLong, kEntryNotWritten };
  Stop stop = Stop::kNone;
  ZipFailure zip = ZipFailure::kNone;  // the zip reader's failure, where it had one
  std::string strEntry;                // the entry it stopped at
  explicit operator bool() const { return stop == Stop::kNone; }
};

// How the run ended.
struct RunOutcome {
  bool bStopped = false;        // an entry failed: the run went no further
  size_t nFailedEntry = 0;      // which one
  EntryResult result = EntryResult::kInstalled;
  FetchResult fetch;            // of the failed entry, when it failed to arrive
  ExtractResult extract;        // of the failed entry, when it failed to unpack
  InstallStepResult install;    // of the failed entry, when its install step failed
};

class CUpdateRun {
 public:
  CUpdateRun(CProjectData& projectData, std::vector<RunEntry> entries, RunSettings settings, IUpdateRunSink& sink);

  // Every entry in order; stops at the first that fails (nothing further is fetched). Never
  // throws: a run that fails unexpectedly is stopped at the entry under way, like a failed one.
  RunOutcome Run();

  // The steps, each on its own for whoever drives one.
  FetchResult Fetch(size_t nIndex, int nOrdinal);
  // 0 download, 1 extract, 2 install (the install script for entry nIndex), 3 clean up: the
  // staging folder goes with all it holds and, for nIndex >= 0, the entry's program is started.
  void UpdateStep(int nStep, int nIndex);
  // Unpacks the package into the staging folder, then the install step of entry nIndex.
  EntryResult InstallPackage(const std::string& strPackage, size_t nIndex);
  // Unpacks the package beside itself and deletes it. A package that is no zip archive or holds
  // no entry, an entry with an unsafe or too long name, or one that cannot be written stops it;
  // the package then stays for the clean-up.
  ExtractResult ExtractPackage(const std::string& strPackage);
  // The install script for entry nIndex (its kind and version), from its package's folder.
  InstallStepResult OnUpgradeNow(size_t nIndex);
  // Where entry nIndex's package arrives and unpacks: its own folder below the staging folder.
  std::string PackageFolder(size_t nIndex) const;

  const std::vector<RunEntry>& Entries() const { return m_entries; }

 private:
  void WriteOptionSettings();
  bool MatchesItsPin(CInternetFileDown& down, const PackagePin& pin, int nOrdinal) const;
  // A delta package or the component's full one: said in the package's log line.
  enum class PackageKind { kFull, kDelta };
  FetchResult FetchFile(const std::string& strUrl, const PackagePin& pin, bool bCheckPin,
                        const std::string& strFolder, int nOrdinal, PackageKind kind);
  // Installs entry nIndex from a delta the document offers from exactly the installed files:
  // true when one was taken that far (its install step's result in `result`); false when there
  // is none or it failed before anything was installed (remembered as bad; nothing left staged).
  bool InstallByDelta(size_t nIndex, int nOrdinal, EntryResult& result);
  // Fetches, applies and checks one delta into the entry's folder.
  bool StageDelta(size_t nIndex, int nOrdinal, const DeltaOffer& offer, const std::vector<DeltaFile>& files);
  RunOutcome RunEntries();
  void ClearStaging();
  RunOutcome Stop(size_t nIndex, EntryResult result);
  std::string DescribeStop(EntryResult result) const;
  void LogFetch(const std::string& strUrl, bool bCheckPin, int nOrdinal, PackageKind kind,
                const FetchResult& result, unsigned long nMilliseconds) const;
  // A failed entry: the staging folder cleared (no program started), the failed status, Stop.
  RunOutcome Fail(size_t nIndex, EntryResult result);

  CProjectData& m_projectData;
  const std::vector<RunEntry> m_entries;
  const RunSettings m_settings;
  IUpdateRunSink& m_sink;
  size_t m_nCurrent = 0;  // the entry under way
  // The current entry's step results, for the outcome of a failed one.
  FetchResult m_fetch;
  ExtractResult m_extract;
  InstallStepResult m_install;
};
