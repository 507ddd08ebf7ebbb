// The files of every release talvo-publish has published, kept beside the served folder, so that
// deltas can be made from them and the lint can prove each delta against them:
//   ARCHIVE/<address key>/<package name without .zip>/MANIFEST   what the release held
//   ARCHIVE/<address key>/<package name without .zip>/<SHA-256>  each file, under its digest
// MANIFEST lines ("\n" ended): "version TEXT", "order N" (rises with each release archived), and
// per file "file SHA-256 SIZE NAME" (NAME in code page 949, as packed). A release folder is made
// under a hidden name and renamed into place whole, so a folder without a readable MANIFEST, or a
// hidden one, is a half-written release and ignored.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

struct ArchivedFile {
  std::string strName;    // code page 949, as packed
  std::string strSha256;  // 64 lower-case hex digits
  uint64_t nSize = 0;
};

struct ArchivedRelease {
  std::string strVersion;
  long long nOrder = 0;
  std::string strFolder;  // UTF-8 path
  std::vector<ArchivedFile> files;

  const ArchivedFile* Find(const std::string& name) const;  // as Windows compares names
  std::string PathOf(const ArchivedFile& file) const { return strFolder + "/" + file.strSha256; }
};

// A file to archive: its name as packed, where it is now and its digest.
struct FileToArchive {
  std::string strName;
  std::string strSourcePath;  // UTF-8
  std::string strSha256;
  uint64_t nSize = 0;
};

class ReleaseArchive {
 public:
  explicit ReleaseArchive(std::string folder) : m_strFolder(std::move(folder)) {}

  // The archived releases of the component whose package address key is `urlKey`, newest first.
  std::vector<ArchivedRelease> Releases(const std::string& urlKey) const;
  // The newest archived release of that component offering `version`; false when there is none.
  bool Find(const std::string& urlKey, const std::string& version, ArchivedRelease& release) const;

  // Archives a published release as the newest of its component, replacing one of the same
  // package name whole. The files are copied; nothing is visible until all are in place.
  bool Add(const std::string& urlKey, const std::string& packageName, const std::string& version,
           const std::vector<FileToArchive>& files, std::string& error) const;

  const std::string& Folder() const { return m_strFolder; }

 private:
  std::string m_strFolder;  // UTF-8
};

// The folder beside a served folder that keeps its releases: "www" gives "www.archive".
std::string DefaultArchiveFolder(const std::string& servedFolder);
