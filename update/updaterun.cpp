#include "update/updaterun.h"

#include <shellapi.h>

#include <utility>
#include <vector>

#include "catalogue/projectdata.h"
#include "framework/log.h"
#include "framework/logcause.h"
#include "framework/modulepath.h"
#include "framework/progressctrl.h"
#include "localstate/filehelpers.h"
#include "localstate/optionsetting.h"
#include "localstate/pathmacros.h"
#include "localstate/upregistry.h"
#include "net/downloadfailure.h"
#include "net/internetfiledown.h"
#include "safename/safename.h"

namespace {

// ExtractPackage builds each target in a buffer of this size; longer targets fail the entry.
constexpr size_t kMaxTargetPath = 256;

// Hands the downloader's positions to the sink: a bar with no window of its own, so PostPos
// comes straight to SetPos on the downloader's thread.
class CSinkProgress : public framework::CProgressCtrl {
 public:
  explicit CSinkProgress(IUpdateRunSink& sink) : m_sink(sink) {}
  void SetRange(int, int nUpper) override { m_sink.SetProgressRange(nUpper); }
  int SetPos(int nPos) override {
    m_sink.ShowProgress(nPos);
    return 0;
  }

 private:
  IUpdateRunSink& m_sink;
};

void ExecuteProgram(const std::string& strPath) {
  ::ShellExecuteA(nullptr, "open", strPath.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
}

// "not resumed", or where the body was taken up again and what came over the wire.
std::string DescribeTransfer(const DownloadTransfer& transfer) {
  if (transfer.nKeptBytesTaken == 0 && transfer.nRangeRequests == 0) return "not resumed";
  std::string text = "resumed";
  if (transfer.nKeptBytesTaken != 0)
    text += " from byte " + std::to_string(transfer.nKeptBytesTaken) + " kept on disk";
  if (transfer.nRangeRequests != 0)
    text += (transfer.nKeptBytesTaken != 0 ? " and " : " ") + std::to_string(transfer.nRangeRequests) +
            (transfer.nRangeRequests == 1 ? " time" : " times") + " after a break";
  return text + " (" + std::to_string(transfer.nReceivedBytes) + " bytes received)";
}

}  // namespace

CUpdateRun::CUpdateRun(CProjectData& projectData, std::vector<RunEntry> entries, RunSettings settings,
                       IUpdateRunSink& sink)
    : m_projectData(projectData), m_entries(std::move(entries)), m_settings(std::move(settings)), m_sink(sink) {}

RunOutcome CUpdateRun::Run() {
  try {
    return RunEntries();
  } catch (...) {
    framework::WriteLog("Update run stopped by an unexpected failure\n");
  }
  try {
    return Fail(m_nCurrent, EntryResult::kFailedUnexpectedly);
  } catch (...) {
    return RunOutcome{true, m_nCurrent, EntryResult::kFailedUnexpectedly, FetchResult(), ExtractResult(),
                      InstallStepResult()};
  }
}

RunOutcome CUpdateRun::RunEntries() {
  // Whatever is staged already came from no package of this run.
  ClearStaging();
  if (!m_settings.strPartialFolder.empty()) {
    std::vector<crypto::Sha256Digest> offered;
    for (const RunEntry& entry : m_entries) {
      uint64_t nSize = 0;
      crypto::Sha256Digest digest{};
      if (entry.pin.Read(nSize, digest)) offered.push_back(digest);
    }
    CInternetFileDown::RemoveOtherPartials(m_settings.strPartialFolder, offered);
  }
  const int nTotal = static_cast<int>(m_entries.size());
  for (size_t i = 0; i < m_entries.size(); ++i) {
    const RunEntry& entry = m_entries[i];
    const int nOrdinal = static_cast<int>(i) + 1;
    m_sink.ShowCounter(nOrdinal, nTotal);
    m_nCurrent = i;
    m_fetch = FetchResult();
    m_extract = ExtractResult();
    m_install = InstallStepResult();
    UpdateStep(0, static_cast<int>(i));

    if (entry.nKind == KIND_OPTION_SETTINGS) {
      WriteOptionSettings();
      continue;
    }

    // A delta from exactly the installed files, when the document offers one; any failure on
    // the way leaves nothing staged and the full package follows in this same run.
    EntryResult result = EntryResult::kNotFetched;
    if (!InstallByDelta(i, nOrdinal, result)) {
      m_fetch = Fetch(i, nOrdinal);
      if (m_fetch.strFile.empty()) return Fail(i, EntryResult::kNotFetched);
      // A file handed over arrived whole; the downloader's error flag also stays set after a send
      // attempt that failed before one that got through, so it does not decide. What the file
      // holds does: only a package that unpacks is installed.
      result = InstallPackage(m_fetch.strFile, i);
    }
    if (m_settings.bUpdateProgram && m_settings.pOptionBackup && *m_settings.pOptionBackup) {
      COptionSetting().BackupFile();
      *m_settings.pOptionBackup = FALSE;
    }
    // A failed entry's program is never started.
    if (result != EntryResult::kInstalled) return Fail(i, result);
    UpdateStep(3, static_cast<int>(i));
  }
  m_sink.ShowStatus(RunStatus::kDone);
  framework::WriteLog("Update list done at %lu ms\n", static_cast<unsigned long>(::GetTickCount()));
  framework::WriteLog("Run end: completed, %u component(s) installed\n", static_cast<unsigned>(m_entries.size()));
  return RunOutcome();
}

RunOutcome CUpdateRun::Fail(size_t nIndex, EntryResult result) {
  UpdateStep(3, -1);
  m_sink.ShowStatus(RunStatus::kFailed);
  return Stop(nIndex, result);
}

RunOutcome CUpdateRun::Stop(size_t nIndex, EntryResult result) {
  framework::WriteLog("Update entry %u failed (%d)\n", static_cast<unsigned>(nIndex), static_cast<int>(result));
  framework::WriteLog("Run end: failed at %s: %s\n",
                      nIndex < m_entries.size() ? m_entries[nIndex].strLabel.c_str() : "?",
                      DescribeStop(result).c_str());
  return RunOutcome{true, nIndex, result, m_fetch, m_extract, m_install};
}

// Why the entry under way stopped the run, with its cause word.
std::string CUpdateRun::DescribeStop(EntryResult result) const {
  switch (result) {
    case EntryResult::kNotFetched:
      if (m_fetch.bPinMismatch) return std::string("not the package the document pins ") + framework::cause::kPackage;
      if (m_fetch.pFailure)
        return std::string("not fetched: ") + DownloadFailureName(*m_fetch.pFailure) + " " +
               DownloadFailureCause(*m_fetch.pFailure);
      return std::string("not fetched: an answer that is no file ") + framework::cause::kServer;
    case EntryResult::kNotExtracted:
      if (m_extract.stop == ExtractResult::Stop::kEntryNotWritten)
        return "an entry could not be written: " + m_extract.strEntry + " " + framework::cause::kDisk;
      return std::string("not a package that unpacks safely (") + DescribeZipFailure(m_extract.zip) + ") " +
             framework::cause::kPackage;
    case EntryResult::kNotInstalled: {
      const char* cause = m_install.nSpaceNeededKB      ? framework::cause::kDisk
                          : !m_install.strHolders.empty() ? framework::cause::kHeld
                                                          : framework::CauseOfSystemError(m_install.nError);
      return "install step rolled back: " + m_install.strFailure + " " + cause;
    }
    case EntryResult::kInstalled:
      return "nothing failed";
    default:
      return std::string("an unexpected failure ") + framework::cause::kUnexpected;
  }
}

FetchResult CUpdateRun::Fetch(size_t nIndex, int nOrdinal) {
  if (nIndex >= m_entries.size()) return FetchResult();
  const RunEntry& entry = m_entries[nIndex];
  return FetchFile(entry.strUrl, entry.pin, m_settings.bCheckPackages, PackageFolder(nIndex), nOrdinal,
                   PackageKind::kFull);
}

FetchResult CUpdateRun::FetchFile(const std::string& strUrl, const PackagePin& pin, bool bCheckPin,
                                  const std::string& strFolder, int nOrdinal, PackageKind kind) {
  FetchResult result;
  CSinkProgress progress(m_sink);
  m_sink.SetProgressRange(100);
  m_sink.ShowProgress(0);
  const DWORD dwStarted = ::GetTickCount();
  CInternetFileDown down(m_settings.downloadTimings);
  down.SetSavePath(strFolder);
  // A signed document pins the package's size: the body may not be a byte longer. Without a pin
  // the downloader's bound for unpinned bodies applies.
  uint64_t nPinnedSize = 0;
  crypto::Sha256Digest pinnedDigest{};
  if (bCheckPin && pin.Read(nPinnedSize, pinnedDigest)) {
    down.SetPinnedSize(nPinnedSize);
    // Only a pinned body is kept across runs: the pin names it, and decides in the end.
    if (!m_settings.strPartialFolder.empty()) down.SetKeepPartial(m_settings.strPartialFolder, pinnedDigest);
  }
  down.SetProgressCtrl(&progress);
  down.SetHashBodies(bCheckPin);
  down.DownloadNow(strUrl, FALSE, TRUE);
  result.strFile = down.GetFinishedFile();
  result.pFailure = down.GetLastFailure();
  down.GetFinishedTransfer(result.transfer);
  // Announced with another length or longer than its pin: not the package the document pins.
  if (bCheckPin && (result.pFailure == &kLengthNotPinned || result.pFailure == &kBodyTooLong)) {
    framework::WriteLog("Package check: package %d/%d is not the size the document pins\n", nOrdinal,
                        static_cast<int>(m_entries.size()));
    result.bPinMismatch = true;
  }
  if (!result.strFile.empty() && bCheckPin && !MatchesItsPin(down, pin, nOrdinal)) {
    // Not what the signed document pins: as good as a package the server does not have.
    ::DeleteFileA(result.strFile.c_str());
    result.strFile.clear();
    result.bPinMismatch = true;
  }
  LogFetch(strUrl, bCheckPin, nOrdinal, kind, result, ::GetTickCount() - dwStarted);
  return result;
}

// One line per package for support: where from, how much and how long, and how it ended.
void CUpdateRun::LogFetch(const std::string& strUrl, bool bCheckPin, int nOrdinal, PackageKind kind,
                          const FetchResult& result, unsigned long nMilliseconds) const {
  const int nTotal = static_cast<int>(m_entries.size());
  const char* pin = !bCheckPin ? "not pinned (a build without a release key)"
                    : result.bPinMismatch       ? "pin mismatch"
                                                : "pin match";
  if (!result.strFile.empty()) {
    WIN32_FILE_ATTRIBUTE_DATA data = {};
    unsigned long long nBytes = 0;
    if (::GetFileAttributesExA(result.strFile.c_str(), GetFileExInfoStandard, &data))
      nBytes = (static_cast<unsigned long long>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
    framework::WriteLog("Package %d/%d %s: %llu bytes in %lu ms, %s, %s, %s\n", nOrdinal, nTotal, strUrl.c_str(),
                        nBytes, nMilliseconds, kind == PackageKind::kDelta ? "delta" : "full package",
                        DescribeTransfer(result.transfer).c_str(), pin);
  } else if (result.bPinMismatch) {
    framework::WriteLog("Package %d/%d %s: refused after %lu ms, %s %s\n", nOrdinal, nTotal, strUrl.c_str(),
                        nMilliseconds, pin, framework::cause::kPackage);
  } else {
    framework::WriteLog("Package %d/%d %s: not fetched after %lu ms: %s %s\n", nOrdinal, nTotal, strUrl.c_str(),
                        nMilliseconds,
                        result.pFailure ? DownloadFailureName(*result.pFailure) : "an answer that is no file",
                        result.pFailure ? DownloadFailureCause(*result.pFailure) : framework::cause::kServer);
  }
}

// The downloaded body against the size and SHA-256 the signed document pins for it; a package
// without a well-formed pin matches nothing.
bool CUpdateRun::MatchesItsPin(CInternetFileDown& down, const PackagePin& pin, int nOrdinal) const {
  const int nTotal = static_cast<int>(m_entries.size());
  uint64_t nPinnedSize = 0;
  crypto::Sha256Digest pinned{};
  crypto::Sha256Digest got{};
  unsigned long long nGotSize = 0;
  if (!pin.Read(nPinnedSize, pinned)) {
    framework::WriteLog("Package check: package %d/%d has no size and SHA-256 in the document\n", nOrdinal, nTotal);
    return false;
  }
  if (!down.GetFinishedDigest(got, nGotSize)) {
    framework::WriteLog("Package check: package %d/%d could not be hashed\n", nOrdinal, nTotal);
    return false;
  }
  if (nGotSize != nPinnedSize || got != pinned) {
    framework::WriteLog("Package check: package %d/%d does not match: %llu bytes, the document says %llu\n",
                        nOrdinal, nTotal, nGotSize, static_cast<unsigned long long>(nPinnedSize));
    return false;
  }
  framework::WriteLog("Package check: package %d/%d: size and SHA-256 match\n", nOrdinal, nTotal);
  return true;
}

void CUpdateRun::WriteOptionSettings() {
  const std::vector<std::string>& settings = m_projectData.GetOptionSettings();
  const int n = static_cast<int>(settings.size());
  m_sink.SetProgressRange(n);
  m_sink.ShowProgress(0);
  COptionSetting option;
  for (int k = 0; k < n; ++k) {
    if (!option.WriteSetting(settings[static_cast<size_t>(k)])) return;  // version not recorded
    m_sink.ShowProgress(k + 1);
  }
  WriteOptionsVersion(m_projectData.GetProjectName(), m_projectData.GetOptionsVersion());
}

void CUpdateRun::UpdateStep(int nStep, int nIndex) {
  framework::WriteLog("Update step %d of entry %d at %lu ms\n", nStep, static_cast<int>(m_nCurrent),
                      static_cast<unsigned long>(::GetTickCount()));
  switch (nStep) {
    case 0:
      m_sink.ShowStatus(RunStatus::kDownloading);
      m_sink.ShowProgress(0);
      break;
    case 1:
      m_sink.ShowProgress(0);
      m_sink.ShowStatus(RunStatus::kExtracting);
      break;
    case 2:
      m_sink.ShowProgress(0);
      m_sink.ShowStatus(RunStatus::kInstalling);
      if (nIndex >= 0) m_install = OnUpgradeNow(static_cast<size_t>(nIndex));
      break;
    case 3: {
      m_sink.SetProgressRange(100);
      m_sink.ShowProgress(100);
      ClearStaging();
      if (nIndex >= 0 && static_cast<size_t>(nIndex) < m_entries.size()) {
        const std::string& strProgram = m_entries[static_cast<size_t>(nIndex)].strProgram;
        if (!strProgram.empty())
          ExecuteProgram(ExpandPathMacros(framework::GetModuleFolder() + "\\" + strProgram, ""));
      }
      break;
    }
    default:
      break;
  }
}

EntryResult CUpdateRun::InstallPackage(const std::string& strPackage, size_t nIndex) {
  m_install = InstallStepResult();
  UpdateStep(1, static_cast<int>(nIndex));
  m_extract = ExtractPackage(strPackage);
  if (!m_extract) return EntryResult::kNotExtracted;
  UpdateStep(2, static_cast<int>(nIndex));
  return m_install.bFailed ? EntryResult::kNotInstalled : EntryResult::kInstalled;
}

ExtractResult CUpdateRun::ExtractPackage(const std::string& strPackage) {
  using Stop = ExtractResult::Stop;
  ExtractResult result;
  const std::string strFolder = strPackage.substr(0, strPackage.find_last_of('\\') + 1);
  CZipFile zip;
  // A reply that is no package (an empty 401/407 answer, a proxy's page, a body cut short) is
  // never taken for one: without a readable directory and at least one entry nothing installs.
  if (!zip.Open(strPackage) || zip.GetCount() <= 0) {
    result.stop = Stop::kNotAPackage;
    result.zip = zip.GetCount() <= 0 && zip.GetLastFailure() == ZipFailure::kNone ? ZipFailure::kNoEntries
                                                                                   : zip.GetLastFailure();
    framework::WriteLog("Package refused: %s (%s)\n", strPackage.c_str(), DescribeZipFailure(result.zip));
    return result;
  }
  const int n = zip.GetCount();
  for (int i = 0; i < n; ++i) {
    CZipEntry* pEntry = zip.GetEntry(i);
    if (pEntry) result.strEntry = pEntry->m_strName;
    // The older file is deleted before the entry is written: a name that could point outside
    // the staging folder, or a target too long for the path buffer, fails the entry first.
    if (!pEntry || !IsSafeRelativePath(pEntry->m_strName)) {
      framework::WriteLog("Package entry refused: %s\n", result.strEntry.c_str());
      result.stop = Stop::kUnsafeEntry;
      result.zip = ZipFailure::kUnsafeName;
      return result;
    }
    std::string strTarget = strFolder + pEntry->m_strName;
    for (char& c : strTarget)
      if (c == '/') c = '\\';
    if (strTarget.size() >= kMaxTargetPath) {
      framework::WriteLog("Package entry path too long: %s\n", strTarget.c_str());
      result.stop = Stop::kTargetTooLong;
      return result;
    }
    ::SetFileAttributesA(strTarget.c_str(), FILE_ATTRIBUTE_NORMAL);
    ::DeleteFileA(strTarget.c_str());
    if (!pEntry->ExtractTo(strTarget)) {
      result.stop = Stop::kEntryNotWritten;
      result.zip = zip.GetLastFailure();
      framework::WriteLog("Package entry not extracted: %s (%s)\n", strTarget.c_str(), DescribeZipFailure(result.zip));
      return result;
    }
    m_sink.ShowProgress(i * 100 / n);
  }
  zip.Close();
  ::DeleteFileA(strPackage.c_str());
  result.strEntry.clear();
  return result;
}

InstallStepResult CUpdateRun::OnUpgradeNow(size_t nIndex) {
  if (nIndex >= m_entries.size()) return InstallStepResult();
  return ::OnUpgradeNow(m_projectData, m_entries[nIndex].nKind, m_entries[nIndex].strVersion, PackageFolder(nIndex));
}

void CUpdateRun::ClearStaging() {
  std::string strStaging = m_settings.strStagingFolder;
  if (!strStaging.empty() && strStaging.back() == '\\') strStaging.pop_back();
  if (!RemoveFolderTree(strStaging)) framework::WriteLog("Staging folder not removed: %s\n", strStaging.c_str());
}

std::string CUpdateRun::PackageFolder(size_t nIndex) const {
  return m_settings.strStagingFolder + std::to_string(nIndex + 1) + "\\";
}
