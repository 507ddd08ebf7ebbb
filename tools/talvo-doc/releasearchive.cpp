#include "tools/talvo-doc/releasearchive.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <system_error>

#include "safename/safename.h"

namespace fs = std::filesystem;

namespace {

const char kManifestName[] = "MANIFEST";

bool IsDigestText(const std::string& text) {
  return text.size() == 64 &&
         std::all_of(text.begin(), text.end(), [](char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'); });
}

bool ParseNumber(const std::string& text, unsigned long long& number) {
  if (text.empty() || text.size() > 18) return false;
  number = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
    number = number * 10 + static_cast<unsigned>(c - '0');
  }
  return true;
}

bool ReadManifest(const fs::path& folder, ArchivedRelease& release) {
  std::ifstream in(folder / kManifestName, std::ios::binary);
  if (!in) return false;
  const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (in.bad()) return false;
  bool hasVersion = false, hasOrder = false;
  size_t pos = 0;
  while (pos < text.size()) {
    size_t end = text.find('\n', pos);
    if (end == std::string::npos) return false;  // cut short
    const std::string line = text.substr(pos, end - pos);
    pos = end + 1;
    const size_t blank = line.find(' ');
    if (blank == std::string::npos) return false;
    const std::string word = line.substr(0, blank), rest = line.substr(blank + 1);
    unsigned long long number = 0;
    if (word == "version") {
      release.strVersion = rest;
      hasVersion = true;
    } else if (word == "order" && ParseNumber(rest, number)) {
      release.nOrder = static_cast<long long>(number);
      hasOrder = true;
    } else if (word == "file") {
      const size_t second = rest.find(' ');
      const size_t third = second == std::string::npos ? second : rest.find(' ', second + 1);
      if (third == std::string::npos) return false;
      ArchivedFile file;
      file.strSha256 = rest.substr(0, second);
      file.strName = rest.substr(third + 1);
      if (!IsDigestText(file.strSha256) || !ParseNumber(rest.substr(second + 1, third - second - 1), number) ||
          !IsSafeFileName(file.strName))
        return false;
      file.nSize = number;
      release.files.push_back(file);
    } else {
      return false;
    }
  }
  return hasVersion && hasOrder;
}

std::string HiddenName(const char* what) {
  std::random_device random;
  char name[64];
  std::snprintf(name, sizeof name, ".%s-%08x%08x", what, static_cast<unsigned>(random()), static_cast<unsigned>(random()));
  return name;
}

std::string FolderNameOf(const std::string& packageName) {
  const size_t n = packageName.size();
  if (n > 4 && WindowsNameKey(packageName.substr(n - 4)) == WindowsNameKey(".zip")) return packageName.substr(0, n - 4);
  return packageName;
}

}  // namespace

const ArchivedFile* ArchivedRelease::Find(const std::string& name) const {
  const std::string key = WindowsNameKey(name);
  for (const ArchivedFile& file : files)
    if (WindowsNameKey(file.strName) == key) return &file;
  return nullptr;
}

std::vector<ArchivedRelease> ReleaseArchive::Releases(const std::string& urlKey) const {
  std::vector<ArchivedRelease> releases;
  std::error_code ec;
  const fs::path component = fs::u8path(m_strFolder) / fs::u8path(urlKey);
  fs::directory_iterator it(component, ec);
  if (ec) return releases;
  for (; it != fs::directory_iterator(); it.increment(ec)) {
    const fs::path folder = it->path();
    const auto name = folder.filename().u8string();
    if (name.empty() || name[0] == '.' || !it->is_directory(ec)) continue;
    ArchivedRelease release;
    if (!ReadManifest(folder, release)) continue;
    const auto text = folder.u8string();
    release.strFolder.assign(text.begin(), text.end());
    releases.push_back(std::move(release));
  }
  std::sort(releases.begin(), releases.end(),
            [](const ArchivedRelease& a, const ArchivedRelease& b) { return a.nOrder > b.nOrder; });
  return releases;
}

bool ReleaseArchive::Find(const std::string& urlKey, const std::string& version, ArchivedRelease& release) const {
  for (ArchivedRelease& candidate : Releases(urlKey)) {
    if (candidate.strVersion == version) {
      release = std::move(candidate);
      return true;
    }
  }
  return false;
}

bool ReleaseArchive::Add(const std::string& urlKey, const std::string& packageName, const std::string& version,
                         const std::vector<FileToArchive>& files, std::string& error) const {
  std::error_code ec;
  const fs::path component = fs::u8path(m_strFolder) / fs::u8path(urlKey);
  fs::create_directories(component, ec);
  if (ec) return error = "cannot create " + component.u8string() + ": " + ec.message(), false;
  // What an earlier run left half-written is never read; it goes now.
  for (fs::directory_iterator it(component, ec); !ec && it != fs::directory_iterator(); it.increment(ec)) {
    const auto name = it->path().filename().u8string();
    if (!name.empty() && name[0] == '.') {
      std::error_code ignored;
      fs::remove_all(it->path(), ignored);
    }
  }
  long long order = 0;
  for (const ArchivedRelease& release : Releases(urlKey)) order = std::max(order, release.nOrder);

  const fs::path building = component / HiddenName("new");
  const fs::path target = component / fs::u8path(FolderNameOf(packageName));
  const auto fail = [&](const std::string& what) {
    std::error_code ignored;
    fs::remove_all(building, ignored);
    error = what;
    return false;
  };
  if (!fs::create_directory(building, ec)) return fail("cannot create " + building.u8string() + ": " + ec.message());
  std::string manifest = "version " + version + "\norder " + std::to_string(order + 1) + "\n";
  for (const FileToArchive& file : files) {
    const fs::path stored = building / file.strSha256;
    if (!fs::exists(stored, ec) && !fs::copy_file(fs::u8path(file.strSourcePath), stored, ec))
      return fail("cannot copy " + file.strSourcePath + " into " + building.u8string());
    manifest += "file " + file.strSha256 + " " + std::to_string(file.nSize) + " " + file.strName + "\n";
  }
  {
    std::ofstream out(building / kManifestName, std::ios::binary);
    out << manifest;
    out.flush();
    if (!out) return fail("cannot write " + (building / kManifestName).u8string());
  }
  // The old folder of the same name steps aside before the new one takes its place.
  fs::path old;
  if (fs::exists(target, ec)) {
    old = component / HiddenName("old");
    fs::rename(target, old, ec);
    if (ec) return fail("cannot move " + target.u8string() + " aside: " + ec.message());
  }
  fs::rename(building, target, ec);
  if (ec) {
    std::error_code ignored;
    if (!old.empty()) fs::rename(old, target, ignored);
    return fail("cannot rename " + building.u8string() + " to " + target.u8string() + ": " + ec.message());
  }
  if (!old.empty()) fs::remove_all(old, ec);
  return true;
}

std::string DefaultArchiveFolder(const std::string& servedFolder) {
  std::string folder = servedFolder;
  while (folder.size() > 1 && (folder.back() == '/' || folder.back() == '\\')) folder.pop_back();
  return folder + ".archive";
}
