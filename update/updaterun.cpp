#include "update/updaterun.h"

#include <shellapi.h>

#include <utility>

#include "catalogue/projectdata.h"
#include "framework/log.h"
#include "framework/modulepath.h"
#include "framework/progressctrl.h"
#include "localstate/filehelpers.h"
#include "localstate/optionsetting.h"
#include "localstate/pathmacros.h"
#include "localstate/upregistry.h"
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

}  // namespace

CUpdateRun::CUpdateRun(CProjectData& projectData, std::vector<RunEntry> entries, RunSettings settings,
                       IUpdateRunSink& sink)
    : m_projectData(projectData), m_entries(std::move(entries)), m_settings(std::move(settings)), m_sink(sink) {}

RunOutcome CUpdateRun::Run() {
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

    m_fetch = Fetch(i, nOrdinal);
    if (m_fetch.strFile.empty()) {
      if (!m_fetch.bPinMismatch) return Stop(i, EntryResult::kNotFetched);
      UpdateStep(3, -1);
      m_sink.ShowStatus(RunStatus::kFailed);
      return Stop(i, EntryResult::kNotFetched);
    }
    // A file handed over arrived whole; the downloader's error flag also stays set after a send
    // attempt that failed before one that got through, so it does not decide. What the file holds
    // does: only a package that unpacks is installed.
    const EntryResult result = InstallPackage(m_fetch.strFile, i);
    if (m_settings.bUpdateProgram && m_settings.pOptionBackup && *m_settings.pOptionBackup) {
      COptionSetting().BackupFile();
      *m_settings.pOptionBackup = FALSE;
    }
    // A failed entry's program is never started.
    UpdateStep(3, result == EntryResult::kInstalled ? static_cast<int>(i) : -1);
    if (result != EntryResult::kInstalled) {
      m_sink.ShowStatus(RunStatus::kFailed);
      return Stop(i, result);
    }
  }
  m_sink.ShowStatus(RunStatus::kDone);
  framework::WriteLog("Update list done at %lu ms\n", static_cast<unsigned long>(::GetTickCount()));
  return RunOutcome();
}

RunOutcome CUpdateRun::Stop(size_t nIndex, EntryResult result) {
  framework::WriteLog("Update entry %u failed (%d)\n", static_cast<unsigned>(nIndex), static_cast<int>(result));
  return RunOutcome{true, nIndex, result, m_fetch, m_extract, m_install};
}

FetchResult CUpdateRun::Fetch(size_t nIndex, int nOrdinal) {
  FetchResult result;
  if (nIndex >= m_entries.size()) return result;
  const RunEntry& entry = m_entries[nIndex];
  CSinkProgress progress(m_sink);
  m_sink.SetProgressRange(100);
  m_sink.ShowProgress(0);
  CInternetFileDown down;
  down.SetSavePath(m_settings.strStagingFolder);
  down.SetProgressCtrl(&progress);
  down.SetHashBodies(m_settings.bCheckPackages);
  down.DownloadNow(entry.strUrl, FALSE, TRUE);
  result.strFile = down.GetFinishedFile();
  result.pFailure = down.GetLastFailure();
  if (!result.strFile.empty() && m_settings.bCheckPackages && !MatchesItsPin(down, entry, nOrdinal)) {
    // Not what the signed document pins: as good as a package the server does not have.
    ::DeleteFileA(result.strFile.c_str());
    result.strFile.clear();
    result.bPinMismatch = true;
  }
  return result;
}

// The downloaded body against the size and SHA-256 the signed document pins for it; a package
// without a well-formed pin matches nothing.
bool CUpdateRun::MatchesItsPin(CInternetFileDown& down, const RunEntry& entry, int nOrdinal) const {
  const int nTotal = static_cast<int>(m_entries.size());
  uint64_t nPinnedSize = 0;
  crypto::Sha256Digest pinned{};
  crypto::Sha256Digest got{};
  unsigned long long nGotSize = 0;
  if (!entry.pin.Read(nPinnedSize, pinned)) {
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
      std::string strStaging = m_settings.strStagingFolder;
      if (!strStaging.empty() && strStaging.back() == '\\') strStaging.pop_back();
      DeleteDirectoryTree(strStaging, TRUE);
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
  return ::OnUpgradeNow(m_projectData, m_entries[nIndex].nKind, m_entries[nIndex].strVersion);
}
