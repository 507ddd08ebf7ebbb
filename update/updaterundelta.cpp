// The delta route of an update run: a component's delta package instead of its full package,
// taken only when every file it lists is installed exactly as listed, and every result checked
// against the document before the install step sees it. Whatever fails on the way is logged,
// remembered as bad (never tried again) and leaves the full package to the same run.
#include <windows.h>

#include <memory>
#include <set>
#include <string>

#include "archive/zipfile.h"
#include "archive/zstdpatch.h"
#include "catalogue/projectdata.h"
#include "crypto/hex.h"
#include "crypto/sha256hasher.h"
#include "framework/log.h"
#include "framework/modulepath.h"
#include "localstate/filehelpers.h"
#include "localstate/pathmacros.h"
#include "safename/safename.h"
#include "safename/updaterfiles.h"
#include "update/updaterun.h"

namespace {

// Feeds every byte it sees to a CNG hash.
class CHashingObserver : public zstdpatch::PatchObserver {
 public:
  bool Consume(const void* data, size_t size) override { return m_hasher.Update(data, size); }
  bool Finish(crypto::Sha256Digest& digest) { return m_hasher.Finish(digest); }

 private:
  crypto::CSha256Hasher m_hasher;
};

bool HashFile(const std::string& strPath, crypto::Sha256Digest& digest) {
  HANDLE hFile = ::CreateFileA(strPath.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                               FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
  if (hFile == INVALID_HANDLE_VALUE) return false;
  std::unique_ptr<void, decltype(&::CloseHandle)> owner(hFile, &::CloseHandle);
  crypto::CSha256Hasher hasher;
  std::unique_ptr<unsigned char[]> buffer(new unsigned char[1 << 20]);
  for (;;) {
    DWORD got = 0;
    if (!::ReadFile(hFile, buffer.get(), 1 << 20, &got, nullptr)) return false;
    if (got == 0) break;
    if (!hasher.Update(buffer.get(), got)) return false;
  }
  return hasher.Finish(digest);
}

bool DigestOf(const std::string& text, crypto::Sha256Digest& digest) {
  return crypto::DecodeHex(text, digest.data(), digest.size(), crypto::HexDigits::kLowerCase);
}

bool FileHasDigest(const std::string& strPath, const std::string& strDigest) {
  crypto::Sha256Digest want{}, got{};
  return DigestOf(strDigest, want) && HashFile(strPath, got) && got == want;
}

std::string BadDeltaListPath() { return framework::GetModuleFolder() + "\\" + kBadDeltaListName; }

std::set<std::string> ReadBadDeltas() {
  std::set<std::string> bad;
  HANDLE hFile = ::CreateFileA(BadDeltaListPath().c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                               FILE_ATTRIBUTE_NORMAL, nullptr);
  if (hFile == INVALID_HANDLE_VALUE) return bad;
  std::unique_ptr<void, decltype(&::CloseHandle)> owner(hFile, &::CloseHandle);
  // The newest thousand lines are plenty (each names one delta package of one release); the
  // list is appended to, so they are at its end.
  constexpr LONGLONG kTail = 66 * 1000;
  LARGE_INTEGER size{};
  if (!::GetFileSizeEx(hFile, &size)) return bad;
  LARGE_INTEGER start{};
  start.QuadPart = size.QuadPart > kTail ? size.QuadPart - kTail : 0;
  if (!::SetFilePointerEx(hFile, start, nullptr, FILE_BEGIN)) return bad;
  std::string text(static_cast<size_t>(size.QuadPart - start.QuadPart), '\0');
  DWORD got = 0;
  if (!text.empty() && !::ReadFile(hFile, &text[0], static_cast<DWORD>(text.size()), &got, nullptr)) return bad;
  text.resize(got);
  size_t pos = 0;
  if (start.QuadPart > 0) {
    pos = text.find('\n');  // the first line read may be cut
    pos = pos == std::string::npos ? text.size() : pos + 1;
  }
  while (pos < text.size()) {
    size_t end = text.find('\n', pos);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(pos, end - pos);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (!line.empty()) bad.insert(line);
    pos = end + 1;
  }
  return bad;
}

void RememberBadDelta(const std::string& strSha256) {
  HANDLE hFile = ::CreateFileA(BadDeltaListPath().c_str(), FILE_APPEND_DATA, FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
                               FILE_ATTRIBUTE_NORMAL, nullptr);
  if (hFile == INVALID_HANDLE_VALUE) {
    framework::WriteLog("Delta: the list of bad deltas could not be written\n");
    return;
  }
  const std::string line = strSha256 + "\r\n";
  DWORD written = 0;
  ::WriteFile(hFile, line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
  ::CloseHandle(hFile);
}

std::string InstalledPath(const DeltaFile& file) { return ExpandPathMacros(file.m_strFolder, file.m_strName); }

}  // namespace

bool CUpdateRun::InstallByDelta(size_t nIndex, int nOrdinal, EntryResult& result) {
  if (nIndex >= m_entries.size()) return false;
  const RunEntry& entry = m_entries[nIndex];
  const std::vector<DeltaOffer> offers = m_projectData.DeltasBeside(entry.strUrl);
  if (offers.empty()) return false;
  const std::set<std::string> bad = ReadBadDeltas();
  for (const DeltaOffer& offer : offers) {
    std::vector<DeltaFile> files;
    uint64_t nSize = 0;
    crypto::Sha256Digest pinned{};
    if (offer.m_strUrl.empty() || !offer.m_Pin.Read(nSize, pinned) || !offer.ReadFiles(files) || files.empty())
      continue;
    if (bad.count(offer.m_Pin.m_strSha256)) {
      framework::WriteLog("Delta: entry %d: delta %u failed here before; not tried again\n", nOrdinal,
                          offer.m_nNumber);
      continue;
    }
    // Exactly the installed files: each listed one as the delta expects it.
    bool bMatches = true;
    for (const DeltaFile& file : files) {
      if (file.m_strSha256Before.empty()) continue;
      if (!FileHasDigest(InstalledPath(file), file.m_strSha256Before)) {
        framework::WriteLog("Delta: entry %d: delta %u not taken, %s is not the file it starts from\n", nOrdinal,
                            offer.m_nNumber, file.m_strName.c_str());
        bMatches = false;
        break;
      }
    }
    if (!bMatches) continue;
    framework::WriteLog("Delta: entry %d takes delta %u from %s: %llu bytes\n", nOrdinal, offer.m_nNumber,
                        offer.m_strFrom.c_str(), static_cast<unsigned long long>(nSize));
    if (!StageDelta(nIndex, nOrdinal, offer, files)) {
      RememberBadDelta(offer.m_Pin.m_strSha256);
      std::string strFolder = PackageFolder(nIndex);
      strFolder.pop_back();
      RemoveFolderTree(strFolder);
      framework::WriteLog("Delta: entry %d: delta %u failed; the full package follows\n", nOrdinal, offer.m_nNumber);
      return false;
    }
    uint64_t nFullSize = 0;
    crypto::Sha256Digest fullDigest{};
    if (entry.pin.Read(nFullSize, fullDigest) && nFullSize > nSize) {
      framework::WriteLog("Delta: entry %d staged by delta, %llu bytes saved\n", nOrdinal,
                          static_cast<unsigned long long>(nFullSize - nSize));
    } else {
      framework::WriteLog("Delta: entry %d staged by delta\n", nOrdinal);
    }
    UpdateStep(2, static_cast<int>(nIndex));
    result = m_install.bFailed ? EntryResult::kNotInstalled : EntryResult::kInstalled;
    return true;
  }
  return false;
}

bool CUpdateRun::StageDelta(size_t nIndex, int nOrdinal, const DeltaOffer& offer, const std::vector<DeltaFile>& files) {
  const std::string strTarget = PackageFolder(nIndex);
  const std::string strDeltaFolder = m_settings.strStagingFolder + std::to_string(nIndex + 1) + ".delta\\";
  m_fetch = FetchFile(offer.m_strUrl, offer.m_Pin, true, strDeltaFolder, nOrdinal, PackageKind::kDelta);
  if (m_fetch.strFile.empty()) {
    framework::WriteLog("Delta: entry %d: the delta package did not arrive as pinned\n", nOrdinal);
    return false;
  }
  UpdateStep(1, static_cast<int>(nIndex));
  ExtractResult extracted = ExtractPackage(m_fetch.strFile);
  if (!extracted) {
    framework::WriteLog("Delta: entry %d: the delta package did not unpack\n", nOrdinal);
    return false;
  }
  ::CreateDirectoryA(strTarget.c_str(), nullptr);
  int nDone = 0;
  for (const DeltaFile& file : files) {
    if (!IsSafeFileName(file.m_strName)) return false;
    const std::string strResult = strTarget + file.m_strName;
    crypto::Sha256Digest want{}, got{};
    if (!DigestOf(file.m_strSha256After, want)) return false;
    if (file.IsChanged()) {
      CHashingObserver hasher;
      const zstdpatch::PatchResult patched =
          zstdpatch::ApplyPatchFile(file.m_strSha256Before.empty() ? std::string() : InstalledPath(file),
                                    strDeltaFolder + file.m_strName, strResult, zstdpatch::kAnnouncedSize, &hasher);
      if (patched != zstdpatch::PatchResult::kApplied) {
        framework::WriteLog("Delta: entry %d: %s: %s\n", nOrdinal, file.m_strName.c_str(),
                            zstdpatch::PatchResultName(patched));
        return false;
      }
      if (!hasher.Finish(got)) return false;
    } else {
      // Unchanged: the installed file itself, copied and checked again.
      if (!::CopyFileA(InstalledPath(file).c_str(), strResult.c_str(), TRUE) || !HashFile(strResult, got)) {
        framework::WriteLog("Delta: entry %d: %s could not be staged\n", nOrdinal, file.m_strName.c_str());
        return false;
      }
    }
    if (got != want) {
      framework::WriteLog("Delta: entry %d: %s does not have the SHA-256 the document gives\n", nOrdinal,
                          file.m_strName.c_str());
      return false;
    }
    m_sink.ShowProgress(++nDone * 100 / static_cast<int>(files.size()));
  }
  std::string strDelta = strDeltaFolder;
  strDelta.pop_back();
  RemoveFolderTree(strDelta);
  return true;
}
