#include "tools/publish/publisher.h"

#include <cstdlib>
#include <ctime>
#include <functional>

#include "catalogue/keychange.h"
#include "catalogue/rolloutbucket.h"
#include "catalogue/signeddocument.h"
#ifdef TALVO_PUBLISH_SIGNING
#include "tools/publish/deltamaker.h"
#include "tools/publish/releasesigning.h"
#endif

#include <algorithm>
#include <cstdio>
#include <exception>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <random>
#include <system_error>

#include "catalogue/projectdata.h"
#include "crypto/hex.h"
#include "net/parseurl.h"
#include "safename/safename.h"
#include "safename/updaterfiles.h"
#include "tools/publish/atomicfile.h"
#include "tools/publish/releasedescription.h"
#include "archive/zipwriter.h"
#include "tools/talvo-doc/cp949.h"
#include "tools/talvo-doc/releasearchive.h"

#ifdef _WIN32
#include <windows.h>
#endif

namespace fs = std::filesystem;

namespace {

bool ReadFile(const fs::path& path, std::string& bytes) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  return !in.bad();
}

// What is served at a path now. A folder or anything else there is no served file; replacing it
// fails later with the system's reason.
enum class Existing { kNone, kFile, kUnreadable };
Existing ReadExisting(const fs::path& path, std::string& bytes) {
  std::error_code error;
  if (!fs::is_regular_file(path, error)) return Existing::kNone;
  return ReadFile(path, bytes) ? Existing::kFile : Existing::kUnreadable;
}

// Staged files are only read back by this run: no need to reach the disk.
bool WritePlainFile(const fs::path& path, const std::string& bytes) {
  std::error_code error;
  fs::create_directories(path.parent_path(), error);
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  out.close();
  return !out.fail();
}

// A private folder outside the served tree for what is about to be published, so that nothing
// is served before the lint has passed. Removed with its contents.
class StagingFolder {
 public:
  StagingFolder() = default;
  ~StagingFolder() {
    std::error_code ignored;
    if (!m_path.empty()) fs::remove_all(m_path, ignored);
  }
  StagingFolder(const StagingFolder&) = delete;
  StagingFolder& operator=(const StagingFolder&) = delete;

  bool Create(std::string& error) {
    std::error_code ec;
    const fs::path base = fs::temp_directory_path(ec);
    if (ec) {
      error = "no folder for temporary files: " + ec.message();
      return false;
    }
    std::random_device random;
    for (int attempt = 0; attempt < 100; ++attempt) {
      char name[40];
      std::snprintf(name, sizeof name, "talvo-publish-%08x%08x", random(), random());
      if (fs::create_directory(base / name, ec)) {
        m_path = base / name;
        return true;
      }
      if (ec) break;
    }
    error = "cannot create a staging folder in " + base.u8string() + (ec ? ": " + ec.message() : std::string());
    return false;
  }
  const fs::path& Path() const { return m_path; }

 private:
  fs::path m_path;
};

// A path as the lint's narrow file calls take it: code page bytes on Windows, where a temporary
// folder below a Korean user name is common; the bytes themselves elsewhere.
std::string NarrowPath(const fs::path& path) {
#ifdef _WIN32
  const std::wstring wide = path.wstring();
  const int length = static_cast<int>(wide.size());
  const int size = ::WideCharToMultiByte(CP_ACP, 0, wide.data(), length, nullptr, 0, nullptr, nullptr);
  std::string narrow(static_cast<size_t>(size > 0 ? size : 0), '\0');
  if (size > 0) ::WideCharToMultiByte(CP_ACP, 0, wide.data(), length, &narrow[0], size, nullptr, nullptr);
  return narrow;
#else
  return path.string();
#endif
}

std::string Utf8(const fs::path& path) {
  const auto text = path.u8string();
  return std::string(text.begin(), text.end());
}

// Keys of each packaged kind in the document.
struct KindKeys {
  const char* szKind;
  const char* szSection;
  const char* szVersion;
  const char* szUrl;
  const char* szCompulsion;
  const char* szPackagePrefix;
};
const KindKeys kKindKeys[] = {
    {"xp", "Talvo", "XP_VERSION", "XP_DOWNLOADURL", "XP_COMPULSION", "TalvoXP_"},
    {"98", "Talvo", "98_VERSION", "98_DOWNLOADURL", "98_COMPULSION", "Talvo98_"},
    {"filter", "POLICE_DATA", "DAT_VERSION", "DOWN_DAT_URL", "DAT_COMPULSION", "filter_"},
    {"serverlist", "SERVER_LIST", "SERVER_VERSION", "SERVER_DOWN_URL", "SERVER_COMPULSION", "serverlist_"},
    {"login", "LOGIN_OCX", "OCX_VERSION", "OCX_DOWN_URL", "OCX_COMPULSION", "TalvoLogin_"},
    {"options", "OPTIONS", "OPTIONS_VERSION", nullptr, "OPTION_COMPULSION", nullptr},
};

const KindKeys* KeysOf(const std::string& kind) {
  for (const KindKeys& k : kKindKeys)
    if (kind == k.szKind) return &k;
  return nullptr;
}

// The version's letters and digits: "3.41" gives "341".
std::string DefaultPackageName(const ReleaseComponent& c, size_t extraIndex) {
  if (c.strKind == "extra") return "extra" + std::to_string(extraIndex) + ".zip";
  std::string digits;
  for (char ch : c.strVersion)
    if ((ch >= '0' && ch <= '9') || (ch >= 'A' && ch <= 'Z') || (ch >= 'a' && ch <= 'z')) digits += ch;
  return KeysOf(c.strKind)->szPackagePrefix + (digits.empty() ? std::string("0") : digits) + ".zip";
}

// The folder below the web server's root that a base URL names: "http://h/talvoupdate/" gives
// "talvoupdate/". False for an address the updater cannot use or a path with escapes.
bool ServedFolder(const std::string& baseUrl, std::string& folder) {
  unsigned long service = 0;
  std::string server, object;
  unsigned short port = 0;
  if (!AfxParseURL(baseUrl, service, server, object, port)) return false;
  if (service != AFX_INET_SERVICE_HTTP && service != AFX_INET_SERVICE_HTTPS) return false;
  if (object.find_first_of("%?#") != std::string::npos || object.back() != '/') return false;
  folder = object.substr(1);
  return folder.empty() || KeepsItsNameOnWindows(folder);
}

bool IsBelowDocument(const std::string& folder) {
  const std::string document = WindowsNameKey(kDocumentPath) + "/";
  return WindowsNameKey(folder).compare(0, document.size(), document) == 0;
}

std::string Shown(const std::string& cp949) { return "\"" + Cp949ToUtf8(cp949) + "\""; }

// Why a file cannot be served under `name` (code page 949) as the document writes its address,
// or nothing. The updater sends a byte above 0x7F as a %XX escape of its code page 949 value, so
// a server finds such a file only when it is stored under those very bytes: not under the UTF-8
// name a maker's machine writes, and not on a server or CDN that keeps names in Unicode.
std::string ServedNameProblem(const std::string& name) {
  if (!IsSafeFileName(name))
    return " is no file name Windows can write (none of \\ / : < > \" | ? * or control characters, no device "
           "name such as CON, NUL, COM1 or LPT1)";
  if (!KeepsItsNameOnWindows(name)) return " ends in a dot or a blank, which Windows drops: name it without";
  for (const char c : name) {
    if (static_cast<unsigned char>(c) >= 0x80)
      return " is not ASCII: the updater asks for it by its code page 949 bytes (as %XX escapes), which a web "
             "server finds only under those very bytes, not under the UTF-8 name written here nor on a server "
             "or CDN that keeps names in Unicode; give it an ASCII name";
  }
  if (name.find_first_of("%#;") != std::string::npos)
    return " holds \"%\", \"#\" or \";\", which the document's address cannot carry as they stand (an escape, "
           "the end of the address, the end of the value); leave them out";
  return std::string();
}

// The client's folder, where the updater itself lives, however the copy-to writes it.
bool IsTargetDir(const std::string& folder) {
  std::string key = WindowsNameKey(folder);
  while (!key.empty() && key.back() == '/') key.pop_back();
  return key == "<TARGETDIR>";
}

#ifdef TALVO_PUBLISH_SIGNING
// The record beside a key: decimal digits, no sign, no leading zero (0 itself aside), an optional
// line end.
bool ParseRecordedRelease(std::string text, long long& number) {
  if (!text.empty() && text.back() == '\n') text.pop_back();
  if (!text.empty() && text.back() == '\r') text.pop_back();
  if (text.empty() || text.size() > 10 || (text[0] == '0' && text.size() > 1)) return false;
  number = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
    number = number * 10 + (c - '0');
  }
  return number <= static_cast<long long>(kHighestReleaseNumber);
}

std::string ExpiresLine(int days) {
  return kReleaseExpiresKey + FormatExpiryTime(static_cast<int64_t>(std::time(nullptr)) + int64_t{days} * 86400);
}

// The key changes of the served document, to be carried into every later one: an installation
// that missed some follows them all from the key its build trusts. Empty when there are none.
// False when they are malformed (`problem` says how).
bool ServedKeyChanges(const std::string* served, KeyChanges& changes, std::string& problem) {
  changes = KeyChanges();
  if (served == nullptr) return true;
  const SignedDocument split = SplitSignedDocument(*served);
  changes = ReadKeyChanges(split.state == SignatureState::kSigned ? split.covered : std::string_view(*served));
  if (!changes.bWellFormed) problem = changes.strProblem;
  return changes.bWellFormed;
}

// The change, if any, that retired the key of `keyLine`.
const KeyChange* RetiredBy(const KeyChanges& changes, const std::string& keyLine) {
  crypto::P256PublicKey key;
  if (!crypto::ParsePublicKeyLine(keyLine, key)) return nullptr;
  for (const KeyChange& change : changes.changes)
    if (change.retiredKey == key) return &change;
  return nullptr;
}

// `covered` with `sections` put before its "[RELEASE]" line (at the end without one).
std::string BeforeReleaseSection(std::string_view covered, const std::string& sections) {
  size_t at = 0;
  while (at < covered.size()) {
    size_t end = covered.find('\n', at);
    end = end == std::string_view::npos ? covered.size() : end + 1;
    std::string_view line = covered.substr(at, end - at);
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r' || line.back() == ' ' || line.back() == '\t'))
      line.remove_suffix(1);
    while (!line.empty() && (line.front() == ' ' || line.front() == '\t')) line.remove_prefix(1);
    if (line == kReleaseSectionLine) break;
    at = end;
  }
  return std::string(covered.substr(0, at)) + sections + std::string(covered.substr(at));
}

std::string SignatureHex(const crypto::P256Signature& signature) {
  return crypto::EncodeHex(signature.data(), signature.size());
}

// The served document, read for re-signing: "" when it is signed, else why it cannot be.
std::string ReadServedSignedDocument(const fs::path& path, const char* purpose, std::string& document,
                                     SignedDocument& served) {
  if (!ReadFile(path, document)) return path.u8string() + ": cannot read the served document";
  served = SplitSignedDocument(document);
  if (served.state != SignatureState::kSigned)
    return path.u8string() + ": " + DescribeSignatureState(served.state) + "; " + purpose;
  return "";
}

// `covered` signed with `signature`, its signature section written with the served document's line ends.
std::string WithSignatureSection(const std::string& served, size_t servedCoveredSize, const std::string& covered,
                                 const std::string& signature) {
  const size_t at = served.find(kSignatureSectionLine, servedCoveredSize);
  const std::string lineEnd =
      served.compare(at + std::string_view(kSignatureSectionLine).size(), 2, "\r\n") == 0 ? "\r\n" : "\n";
  return covered + kSignatureSectionLine + lineEnd + kSignatureKey + signature + lineEnd;
}
#endif

bool IsMainProgram(const ReleaseComponent& c) { return c.strKind == "xp" || c.strKind == "98"; }

struct Package {
  std::string strName;    // file name below the served folder
  fs::path filesDir;
  std::vector<std::string> saEntries;  // code page 949 entry names, sorted
  std::vector<FileToArchive> packed;   // each entry's bytes as packed (host build: kept for the archive)
  std::vector<const ReleaseComponent*> users;  // the components offering it
};

// A delta package offered beside a component's full package.
struct OfferedDelta {
  std::string strFrom;     // the archived release's version
  std::string strPackage;  // file name below the served folder
  std::vector<std::string> saFiles;  // FILE values
};

// A file this run serves: its path below the web server's root and its bytes in the staging
// folder until the lint has passed.
struct ServedFile {
  std::string strPath;
  fs::path staged;
  bool bUnchanged = false;
};

class Publisher {
 public:
  Publisher(const PublishOptions& options, PublishResult& result) : m_options(options), m_result(result) {}

  void Run() {
    std::string text;
    const fs::path description = fs::u8path(m_options.strDescription);
    if (!ReadFile(description, text)) return Error(m_options.strDescription + ": cannot read it");
    std::vector<std::string> errors;
    m_release = ParseReleaseDescription(text, errors);
    for (const std::string& e : errors) Error(m_options.strDescription + ":" + e);
    if (!m_result.saErrors.empty()) return;
    m_base = description.parent_path();
    m_out = fs::u8path(m_options.strOutDir);

    m_baseUrl = m_options.strBaseUrl.empty() ? m_release.strBaseUrl : m_options.strBaseUrl;
    if (!m_baseUrl.empty() && m_baseUrl.back() != '/') m_baseUrl += '/';
    if (m_baseUrl.empty() || !ServedFolder(m_baseUrl, m_servedFolder))
      return Error("the base URL \"" + m_baseUrl + "\" is no http://host/folder/ address (give base-url or --base-url)");
    if (IsBelowDocument(m_servedFolder))
      return Error("the base URL \"" + m_baseUrl + "\" names a folder at the update information document's own "
                   "address, " + kDocumentPath + "; serve the packages from another folder");

    if (!CollectPackages() || !ChooseNotice() || !CheckServedNames() || !CheckStagedNames() || !CheckCopies())
      return;

    std::string error;
    if (!m_staging.Create(error)) return Error(error);
    for (Package& package : m_packages)
      if (!StagePackage(package)) return;
    if (!m_noticeName.empty() && !StageNotice()) return;
    m_archiveDir = m_options.strArchiveDir.empty() ? DefaultArchiveFolder(m_options.strOutDir) : m_options.strArchiveDir;
    if (!MakeDeltas()) return;

    std::string document = Document();
    m_result.strDocumentPath = kDocumentPath;
    const fs::path documentPath = m_out / kDocumentPath;

    // Checked against exactly what is about to be served; all of it is in the staging folder.
    std::string old;
    LintOptions lint;
    lint.strReleaseDir = NarrowPath(m_staging.Path());
    lint.strArchiveDir = m_archiveDir;
    const fs::path against = m_options.strAgainst.empty() ? documentPath : fs::u8path(m_options.strAgainst);
    if (ReadExisting(against, old) == Existing::kFile) {
      lint.pOldDocument = &old;
    } else if (!m_options.strAgainst.empty()) {
      return Error(m_options.strAgainst + ": cannot read it");
    }
    if (!m_options.strSignKey.empty()) {
      if (!Sign(document, lint.pOldDocument)) return;
      lint.bSigned = true;
#ifdef TALVO_PUBLISH_SIGNING
      lint.pFileDigest = &signing::Sha256OfFile;
#endif
    }
    m_result.findings = LintDocument(document, lint);
    if (!m_result.findings.empty() && !m_options.bForce) {
      m_result.nExitCode = 1;
      return;
    }
    // --force never writes over the updater's own files, nor serves a delta that was not proven.
    for (const LintFinding& finding : m_result.findings) {
      if (!ForcePasses(finding)) {
        m_result.nExitCode = 1;
        return;
      }
    }

    // Packages and notice first: the document never names a file that is not served yet.
    for (const ServedFile& file : m_served) {
      if (file.bUnchanged) {
        m_result.saWritten.push_back(file.strPath + " (unchanged)");
        continue;
      }
      std::string bytes;
      if (!ReadFile(file.staged, bytes)) return Error(Utf8(file.staged) + ": cannot read it back");
      if (!Install(file.strPath, bytes)) return;
    }
    if (!Install(kDocumentPath, document)) return;
    ArchiveRelease();
  }

 private:
  void Error(const std::string& message) {
    m_result.saErrors.push_back(message);
    m_result.nExitCode = 2;
  }

  fs::path Local(const std::string& utf8) const {
    const fs::path path = fs::u8path(utf8);
    return path.is_absolute() ? path : m_base / path;
  }

  std::string Where(const ReleaseComponent& c) const {
    return m_options.strDescription + ":" + std::to_string(c.nLine) + ": ";
  }

  bool Install(const std::string& servedPath, const std::string& bytes) {
    const fs::path target = m_out / fs::u8path(servedPath);
    std::string error;
    if (!WriteFileAtomically(target, bytes, error)) {
      Error(Utf8(target) + ": cannot write it (" + error + ")");
      return false;
    }
    m_result.saWritten.push_back(servedPath);
    return true;
  }

  bool CollectPackages() {
    size_t extraIndex = 0;
    for (ReleaseComponent& c : m_release.components) {
      if (!IsPackagedKind(c.strKind)) continue;
      if (c.strPackage.empty()) c.strPackage = DefaultPackageName(c, extraIndex);
      if (c.strKind == "extra") ++extraIndex;
      const std::string where = Where(c);
      const std::string problem = ServedNameProblem(c.strPackage);
      if (!problem.empty()) {
        Error(where + "the package name " + Shown(c.strPackage) + problem);
        return false;
      }
      const auto same = std::find_if(m_packages.begin(), m_packages.end(),
                                     [&](const Package& p) { return p.strName == c.strPackage; });
      if (same != m_packages.end()) {
        if (same->filesDir != Local(c.strFilesDir)) {
          Error(where + "package " + Shown(c.strPackage) + " is named twice with different folders");
          return false;
        }
        same->users.push_back(&c);
        continue;
      }
      Package package;
      package.strName = c.strPackage;
      package.filesDir = Local(c.strFilesDir);
      package.users.push_back(&c);
      std::error_code error;
      fs::directory_iterator it(package.filesDir, error);
      if (error) {
        Error(where + "cannot read the folder " + Utf8(package.filesDir));
        return false;
      }
      for (; it != fs::directory_iterator(); it.increment(error)) {
        const fs::directory_entry& entry = *it;
        const std::string name = Utf8(entry.path().filename());
        if (name.empty() || name[0] == '.') continue;  // hidden files are never shipped
        std::string cp949;
        if (!entry.is_regular_file(error)) {
          Error(where + Utf8(entry.path()) + " is no plain file: the updater creates no folders, so a package "
                        "holds files only");
          return false;
        }
        if (!Utf8ToCp949(name, cp949) || !IsSafeFileName(cp949)) {
          Error(where + "\"" + name + "\" is no file name the updater can unpack (code page 949, none of \\ / : "
                        "< > \" | ? * or control characters, no device name such as CON, NUL, COM1 or LPT1)");
          return false;
        }
        if (!KeepsItsNameOnWindows(cp949)) {
          Error(where + "\"" + name + "\" ends in a dot or a blank, which Windows drops: the updater would write "
                        "it under a shorter name; rename it");
          return false;
        }
        if (WindowsNameKey(cp949) == WindowsNameKey(package.strName)) {
          Error(where + "\"" + name + "\" has the name of its own package: the updater saves the package under "
                        "that name in the staging folder, and unpacking this file deletes it; rename the file");
          return false;
        }
        package.saEntries.push_back(cp949);
      }
      if (package.saEntries.empty()) {
        Error(where + Utf8(package.filesDir) + " holds no file to pack");
        return false;
      }
      std::sort(package.saEntries.begin(), package.saEntries.end());
      for (const auto& clash : FindWindowsNameClashes(package.saEntries)) {
        Error(where + Shown(package.saEntries[clash.first]) + " and " + Shown(package.saEntries[clash.second]) +
              " in " + Utf8(package.filesDir) + " are one file for Windows (case and trailing dots do not "
              "count): unpacking the second deletes the first; rename one");
        return false;
      }
      m_packages.push_back(package);
    }
    return true;
  }

  bool ChooseNotice() {
    if (m_release.strNoticeFile.empty()) return true;
    const fs::path source = Local(m_release.strNoticeFile);
    std::string name;
    if (!Utf8ToCp949(Utf8(source.filename()), name)) {
      Error(Utf8(source) + ": no file name to serve the notice under (code page 949)");
      return false;
    }
    const std::string problem = ServedNameProblem(name);
    if (!problem.empty()) {
      Error(m_options.strDescription + ": the notice " + Shown(name) + problem);
      return false;
    }
    m_noticeName = name;
    return true;
  }

  // Every served path is one file on any server, Windows or not: the document's and the
  // notice's are reserved.
  bool CheckServedNames() {
    std::vector<std::string> paths = {kDocumentPath};
    for (const Package& package : m_packages) paths.push_back(m_servedFolder + package.strName);
    if (!m_noticeName.empty()) paths.push_back(m_servedFolder + m_noticeName);
    const size_t notice = m_noticeName.empty() ? paths.size() : paths.size() - 1;
    for (const auto& clash : FindWindowsNameClashes(paths)) {
      const size_t first = clash.first;
      const size_t second = clash.second;
      if (first == 0 && second == notice) {
        Error(m_options.strDescription + ": the notice " + Shown(m_noticeName) + " would be served at " +
              kDocumentPath + ", the update information document's own address; rename the notice file");
      } else if (first == 0) {
        const Package& package = m_packages[second - 1];
        Error(Where(*package.users[0]) + "the package " + Shown(package.strName) + " would be served at " +
              kDocumentPath + ", the update information document's own address; name it otherwise");
      } else if (second == notice) {
        Error(m_options.strDescription + ": the notice " + Shown(m_noticeName) + " is also the name of a package (" +
              Shown(m_packages[first - 1].strName) + "), served in the same folder; rename the notice file");
      } else {
        const Package& a = m_packages[first - 1];
        const Package& b = m_packages[second - 1];
        Error(Where(*b.users[0]) + "the packages " + Shown(a.strName) + " and " + Shown(b.strName) +
              " differ only in case: one file on a Windows server or disk; name them apart");
      }
      return false;
    }
    return true;
  }

  // Every package unpacks into the one staging folder, and a COPY line takes a file from there
  // whichever package brought it: a file name in two packages lands where the other package's
  // file belongs, or is never installed. The XP and 98 builds are alternatives: no user takes
  // both, so they may share names.
  bool CheckStagedNames() {
    std::vector<std::string> names;
    std::vector<size_t> owners;
    for (size_t i = 0; i < m_packages.size(); ++i) {
      for (const std::string& name : m_packages[i].saEntries) {
        names.push_back(name);
        owners.push_back(i);
      }
    }
    const auto mainProgramOnly = [](const Package& p) {
      return std::all_of(p.users.begin(), p.users.end(), [](const ReleaseComponent* c) { return IsMainProgram(*c); });
    };
    for (const auto& clash : FindWindowsNameClashes(names)) {
      const Package& a = m_packages[owners[clash.first]];
      const Package& b = m_packages[owners[clash.second]];
      if (mainProgramOnly(a) && mainProgramOnly(b)) continue;
      const std::string& first = names[clash.first];
      const std::string& second = names[clash.second];
      Error(Where(*b.users[0]) + Shown(first) + " is in the packages " + Cp949ToUtf8(a.strName) + " and " +
            Cp949ToUtf8(b.strName) + (first != second ? " (as " + Shown(second) + ")" : std::string()) +
            ": every package unpacks into the one staging folder and a COPY line takes the file whichever package "
            "brought it, so one package's file lands where the other's belongs, or is never installed; give each "
            "package its own file names");
      return false;
    }
    return true;
  }

  // A COPY moves its file out of the staging folder: a second COPY of the same name into another
  // folder never finds it.
  bool CheckCopies() {
    std::map<std::string, std::string> folders;
    for (const auto& copy : Copies()) {
      if (IsTargetDir(copy.first) && IsUpdaterOwnName(copy.second)) {
        Error(m_options.strDescription + ": " + Shown(copy.second) + " would be copied into <TARGETDIR>, where the "
              "updater keeps its own files under that name (" + kUpdaterProgramName + ", the staging folder " +
              kStagingFolderName + ", " + kInstallJournalName + ", " + kSetAsideFolderName + ", " +
              kReleaseRecordName + ", any Update.*): it would replace the running program, the journal that undoes "
              "a broken install or the record of the releases accepted; rename the file");
        return false;
      }
      const auto inserted = folders.emplace(WindowsNameKey(copy.second), copy.first);
      if (!inserted.second && WindowsNameKey(inserted.first->second) != WindowsNameKey(copy.first)) {
        Error(m_options.strDescription + ": " + Shown(copy.second) + " is copied into both " +
              Cp949ToUtf8(inserted.first->second) + " and " + Cp949ToUtf8(copy.first) +
              ": a COPY takes the file out of the staging folder, so only the first line ever finds it; give the "
              "components that share this file one copy-to");
        return false;
      }
    }
    return true;
  }

  // A file already served under this name keeps its bytes: clients and caches may hold it.
  bool Stage(const std::string& servedPath, const std::string& bytes, const char* what) {
    const fs::path target = m_out / fs::u8path(servedPath);
    ServedFile file;
    file.strPath = servedPath;
    file.staged = m_staging.Path() / fs::u8path(servedPath);
    std::string existing;
    switch (ReadExisting(target, existing)) {
      case Existing::kNone:
        break;
      case Existing::kUnreadable:
        Error(Utf8(target) + ": cannot read what is served there");
        return false;
      case Existing::kFile:
        file.bUnchanged = existing == bytes;
        if (!file.bUnchanged && !m_options.bForce) {
          Error(Utf8(target) + " is already published with other contents: users and caches may hold it; give the "
                               "new " + what + " another name (a new version), or use --force");
          return false;
        }
        break;
    }
    if (!WritePlainFile(file.staged, bytes)) {
      Error(Utf8(file.staged) + ": cannot write it");
      return false;
    }
    m_served.push_back(file);
    return true;
  }

  bool StagePackage(Package& package) {
    CZipWriter zip;
    for (const std::string& name : package.saEntries) {
      std::string utf8 = Cp949ToUtf8(name);
      std::string data;
      if (!ReadFile(package.filesDir / fs::u8path(utf8), data) || !zip.Add(name, data)) {
        Error(Utf8(package.filesDir / fs::u8path(utf8)) + ": cannot read or pack it");
        return false;
      }
      if (!KeepPacked(package, name, data)) return false;
    }
    return Stage(m_servedFolder + package.strName, zip.Finish(), "package");
  }

  // The bytes just packed, kept aside under their digest: the deltas are made from exactly them,
  // and the release archive receives exactly them once the release is served.
  bool KeepPacked(Package& package, const std::string& name, const std::string& data) {
#ifdef TALVO_PUBLISH_SIGNING
    std::error_code ec;
    const fs::path folder = m_staging.Path() / ".packed";
    fs::create_directories(folder, ec);
    FileToArchive file;
    file.strName = name;
    file.strSha256 = signing::Sha256Hex(data);
    file.nSize = data.size();
    const fs::path path = folder / file.strSha256;
    file.strSourcePath = Utf8(path);
    if (!fs::exists(path, ec) && !WritePlainFile(path, data)) {
      Error(Utf8(path) + ": cannot write it");
      return false;
    }
    package.packed.push_back(file);
#else
    (void)package, (void)name, (void)data;
#endif
    return true;
  }

  const Package& PackageNamed(const std::string& name) const {
    return *std::find_if(m_packages.begin(), m_packages.end(), [&](const Package& p) { return p.strName == name; });
  }

  // Deltas go only into signed documents: the updater takes a delta only where it is pinned.
  bool MakeDeltas() {
#ifdef TALVO_PUBLISH_SIGNING
    if (m_options.strSignKey.empty() || m_options.nDeltaReleases <= 0) return true;
    const ReleaseArchive archive(m_archiveDir);
    for (const ReleaseComponent& c : m_release.components) {
      const KindKeys* keys = KeysOf(c.strKind);
      if (keys == nullptr || keys->szUrl == nullptr) continue;
      const std::vector<ArchivedRelease> releases = archive.Releases(keys->szUrl);
      if (releases.empty()) continue;
      if (c.strCopyTo.empty()) {
        m_result.saNotes.push_back(std::string(keys->szUrl) + ": no deltas: without copy-to the updater cannot "
                                   "know which installed files a delta starts from");
        continue;
      }
      int taken = 0;
      for (const ArchivedRelease& from : releases) {
        if (from.strVersion == c.strVersion) continue;  // the release itself, published before
        if (taken++ == m_options.nDeltaReleases) break;
        if (!MakeDelta(c, keys->szUrl, from)) return false;
      }
    }
#endif
    return true;
  }

#ifdef TALVO_PUBLISH_SIGNING
  // One step from an archived release to this one: a zstd patch per changed or added file;
  // unchanged files are only listed (the updater stages the installed copy).
  bool MakeDelta(const ReleaseComponent& c, const std::string& urlKey, const ArchivedRelease& from) {
    const Package& package = PackageNamed(c.strPackage);
    CZipWriter zip;
    OfferedDelta delta;
    delta.strFrom = from.strVersion;
    size_t changed = 0;
    for (const FileToArchive& file : package.packed) {
      const ArchivedFile* old = from.Find(file.strName);
      delta.saFiles.push_back(c.strCopyTo + "," + file.strName + "," + (old ? old->strSha256 : std::string()) + "," +
                              file.strSha256);
      if (old && old->strSha256 == file.strSha256) continue;
      std::string reference, target, frame, error;
      if (old && !ReadFile(fs::u8path(from.PathOf(*old)), reference)) {
        Error(from.PathOf(*old) + ": cannot read the archived " + Cp949ToUtf8(file.strName) + " of release " +
              Cp949ToUtf8(from.strVersion));
        return false;
      }
      if (!ReadFile(fs::u8path(file.strSourcePath), target) || !MakeFileDelta(reference, target, frame, error) ||
          !zip.Add(file.strName, frame)) {
        Error(urlKey + ": no delta of " + Cp949ToUtf8(file.strName) + " from release " + Cp949ToUtf8(from.strVersion) +
              (error.empty() ? std::string() : " (" + error + ")"));
        return false;
      }
      ++changed;
    }
    const std::string what = urlKey + " from release " + Cp949ToUtf8(from.strVersion);
    if (changed == 0) {
      m_result.saNotes.push_back(what + ": no delta, no file changed");
      return true;
    }
    const std::string bytes = zip.Finish();
    std::error_code ec;
    const uintmax_t full = fs::file_size(m_staging.Path() / fs::u8path(m_servedFolder + c.strPackage), ec);
    if (ec) return Error(c.strPackage + ": the staged package is gone"), false;
    if (bytes.size() * 2 > full) {
      m_result.saNotes.push_back(what + ": not offered, the delta (" + std::to_string(bytes.size()) +
                                 " bytes) is more than half of the full package (" + std::to_string(full) + " bytes)");
      return true;
    }
    std::string stem = c.strPackage;
    if (stem.size() > 4 && WindowsNameKey(stem.substr(stem.size() - 4)) == WindowsNameKey(".zip")) stem.resize(stem.size() - 4);
    delta.strPackage = stem + "_from_" + fs::u8path(from.strFolder).filename().string() + ".zip";
    const std::string problem = ServedNameProblem(delta.strPackage);
    if (!problem.empty()) return Error("the delta package " + Shown(delta.strPackage) + problem), false;
    const std::string served = m_servedFolder + delta.strPackage;
    const bool staged = std::any_of(m_served.begin(), m_served.end(), [&](const ServedFile& f) { return f.strPath == served; });
    if (!staged && !Stage(served, bytes, "delta package")) return false;
    m_result.saNotes.push_back(what + ": " + delta.strPackage + ", " + std::to_string(bytes.size()) + " bytes (" +
                               std::to_string(bytes.size() * 100 / full) + " % of the full package), " +
                               std::to_string(changed) + " of " + std::to_string(package.packed.size()) +
                               " files changed");
    m_deltas[&c].push_back(delta);
    return true;
  }
#endif

  // Served releases are archived so that later releases get deltas from them. The release is
  // already served: a failure here is told, and only costs the next releases their deltas.
  void ArchiveRelease() {
#ifdef TALVO_PUBLISH_SIGNING
    const ReleaseArchive archive(m_archiveDir);
    for (const ReleaseComponent& c : m_release.components) {
      const KindKeys* keys = KeysOf(c.strKind);
      if (keys == nullptr || keys->szUrl == nullptr) continue;
      std::string error;
      if (!archive.Add(keys->szUrl, c.strPackage, c.strVersion, PackageNamed(c.strPackage).packed, error))
        Error("the release is served, but " + std::string(keys->szUrl) + " was not archived in " + m_archiveDir + " (" +
              error + "): the next release gets no delta from it");
    }
#endif
  }

  bool StageNotice() {
    const fs::path source = Local(m_release.strNoticeFile);
    std::string bytes;
    if (!ReadFile(source, bytes)) {
      Error(Utf8(source) + ": cannot read the notice");
      return false;
    }
    return Stage(m_servedFolder + m_noticeName, bytes, "notice");
  }

  // Each packed file reaches its folder through a COPY job: (folder, file name), in order, once each.
  std::vector<std::pair<std::string, std::string>> Copies() const {
    std::vector<std::pair<std::string, std::string>> copies;
    for (const ReleaseComponent& c : m_release.components) {
      if (c.strCopyTo.empty()) continue;
      const auto package = std::find_if(m_packages.begin(), m_packages.end(),
                                        [&](const Package& p) { return p.strName == c.strPackage; });
      for (const std::string& name : package->saEntries) {
        const auto copy = std::make_pair(c.strCopyTo, name);
        if (std::find(copies.begin(), copies.end(), copy) == copies.end()) copies.push_back(copy);
      }
    }
    return copies;
  }

  std::string PackageOf(const ReleaseComponent& c) const { return m_baseUrl + c.strPackage; }

  // The size and SHA-256 of a package or the notice as staged (the bytes about to be served),
  // beside its address key.
  void PinLines(const std::string& urlKey, const std::string& servedName,
                const std::function<void(const std::string&)>& line) const {
#ifdef TALVO_PUBLISH_SIGNING
    if (m_options.strSignKey.empty()) return;
    std::string sha;
    unsigned long long size = 0;
    const fs::path path = m_staging.Path() / fs::u8path(Cp949ToUtf8(m_servedFolder + servedName));
    if (!signing::Sha256OfFile(Utf8(path), sha, size)) return;  // the lint then finds it unpinned
    line(urlKey + "_SIZE=" + std::to_string(size));
    line(urlKey + "_SHA256=" + sha);
#else
    (void)urlKey, (void)servedName, (void)line;
#endif
  }

  // The release number, then the signature over every byte before it, as the last section. The
  // number rises above every one this key has signed (kept beside it, so a fresh output folder or
  // an unsigned publication in between cannot lower it) and above the served document's: an
  // updater that accepted a release refuses every lower one for good.
  bool Sign(std::string& document, const std::string* old) {
#ifdef TALVO_PUBLISH_SIGNING
    long long served = 0;
    if (old) {
      const SignedDocument servedDoc = SplitSignedDocument(*old);
      const ReleaseNumber number =
          ReadReleaseNumber(servedDoc.state == SignatureState::kSigned ? servedDoc.covered : std::string_view(*old));
      if (number.state == ReleaseNumberState::kFound) served = number.number;
    }
    const std::string record = ReleaseRecordOfKey(m_options.strSignKey);
    const fs::path recordPath = fs::u8path(record);
    std::string recordText;
    long long signedBefore = -1;  // unknown
    std::error_code ec;
    if (fs::exists(recordPath, ec)) {
      if (!ReadFile(recordPath, recordText) || !ParseRecordedRelease(recordText, signedBefore)) {
        return Error(record + " holds no release number (one line of decimal digits): it keeps the highest release "
                     "signed with " + m_options.strSignKey + "; nothing is signed until it is mended (write the "
                     "highest release number ever signed with this key there)"), false;
      }
    }
    KeyChanges changes;
    std::string problem;
    if (!ServedKeyChanges(old, changes, problem))
      return Error("the served document's key changes are malformed (" + problem + "); nothing is signed until it is "
                   "mended: every later document must carry them"), false;
    std::string signerLine, keyError;
    if (!signing::ReadPublicKey(m_options.strSignKey, signerLine, keyError)) return Error(keyError), false;
    if (const KeyChange* retiring = RetiredBy(changes, signerLine)) {
      return Error("refused to sign with " + m_options.strSignKey + ": key change " + std::to_string(retiring->number) +
                   " of the served document retired it, so updaters refuse what it signs; sign with the key it "
                   "brought in"), false;
    }
    const std::string servedNote =
        served > 0 ? " (the served document has release " + std::to_string(served) + ")" : std::string();
    long long number = m_options.nReleaseNumber;
    if (number > 0) {
      if (signedBefore >= number) {
        return Error("refused to sign release " + std::to_string(number) + ": " + m_options.strSignKey +
                     " has signed release " + std::to_string(signedBefore) + " before (" + record + "); updaters "
                     "that accepted it would refuse this document for good. Give a --release-number above " +
                     std::to_string(signedBefore) + ", or leave it out"), false;
      }
      if (served >= number) {
        return Error("refused to sign release " + std::to_string(number) + ": it does not rise above the served "
                     "document's release " + std::to_string(served) + "; updaters that accepted that one would "
                     "refuse it"), false;
      }
    } else {
      if (signedBefore < 0) {
        return Error("refused to sign: which release numbers " + m_options.strSignKey + " has signed before is not "
                     "known (" + record + " is missing; keygen writes it). Give --release-number N, above every "
                     "release ever signed with this key" + servedNote + "; it is kept there from then on"), false;
      }
      number = std::max(signedBefore, served) + 1;
    }
    if (number > static_cast<long long>(kHighestReleaseNumber))
      return Error("the release number cannot rise above " + std::to_string(kHighestReleaseNumber) + servedNote), false;
    // Kept before the signature exists: a number once signed is never signed again, even if this
    // publication stops later.
    std::string error;
    if (!WriteFileAtomically(recordPath, std::to_string(number) + "\n", error))
      return Error(record + ": cannot record release " + std::to_string(number) + " (" + error + "); nothing signed"), false;
    m_result.nRelease = static_cast<long>(number);
    document = WithExpiry(document, ExpiresLine(m_options.nExpiresInDays));
    if (m_options.nRollout >= 0) document = WithPolicyLine(document, kRolloutKey, kRolloutKey + std::to_string(m_options.nRollout));
    if (m_options.bUrgent) document = WithPolicyLine(document, kUrgentKey, std::string(kUrgentKey) + "1");
    for (const KeyChange& change : changes.changes) document += FormatKeyChangeSection(change);
    document += "[RELEASE]\r\nNUMBER=" + std::to_string(m_result.nRelease) + "\r\n";
    std::string signature;
    if (!signing::Sign(m_options.strSignKey, document, signature, error)) return Error(error), false;
    document += "[SIGNATURE]\r\nECDSA-P256-SHA256=" + signature + "\r\n";
    return true;
#else
    (void)document, (void)old;
    Error("this build of talvo-publish cannot sign: use the host build (OpenSSL)");
    return false;
#endif
  }

  std::string Document() const {
    std::string doc;
    const auto line = [&doc](const std::string& text) { doc += text + "\r\n"; };
    line("// Written by talvo-publish from a release description: change that, not this file.");
    const auto component = [&](const std::string& section) {
      bool opened = false;
      for (const ReleaseComponent& c : m_release.components) {
        const KindKeys* keys = KeysOf(c.strKind);
        if (keys == nullptr || section != keys->szSection) continue;
        if (!opened && section != "Talvo") line("[" + section + "]");
        opened = true;
        line(std::string(keys->szVersion) + "=" + c.strVersion);
        if (keys->szUrl) {
          line(std::string(keys->szUrl) + "=" + PackageOf(c));
          PinLines(keys->szUrl, c.strPackage, line);
          const auto deltas = m_deltas.find(&c);
          unsigned number = 0;
          for (const OfferedDelta& delta : deltas == m_deltas.end() ? std::vector<OfferedDelta>() : deltas->second) {
            const std::string key = std::string(keys->szUrl) + "_DELTA" + std::to_string(++number);
            line(key + "=" + m_baseUrl + delta.strPackage);
            line(key + "_FROM=" + delta.strFrom);
            PinLines(key, delta.strPackage, line);
            for (const std::string& file : delta.saFiles) line(key + "_FILE=" + file);
          }
        }
        line(std::string(keys->szCompulsion) + "=" + c.strCompulsion);
        for (const std::string& setting : c.saSettings) line("OPTIONS_SETTING=" + setting);
      }
    };
    line("[Talvo]");
    if (!m_release.strProject.empty()) line("PROJECT=" + m_release.strProject);
    if (!m_release.strDeadline.empty()) line("DEADLINE=" + m_release.strDeadline);
    component("Talvo");
    for (const char* section : {"POLICE_DATA", "SERVER_LIST", "LOGIN_OCX", "OPTIONS"}) component(section);
    if (!m_noticeName.empty()) {
      line("[NOTICE]");
      line("NOTICE_URL=" + m_baseUrl + m_noticeName);
      // Updaters with a release key show the notice only when it matches.
      PinLines("NOTICE_URL", m_noticeName, line);
    }
    // The jobs run after every package.
    std::vector<std::string> copies;
    for (const auto& copy : Copies()) copies.push_back("COPY=" + copy.first + "," + copy.second);
    for (int type : {CProjectData::JOB_FOLDER, CProjectData::JOB_FILES, CProjectData::JOB_REGISTRY}) {
      std::vector<std::string> lines = type == CProjectData::JOB_FILES ? copies : std::vector<std::string>();
      for (const ReleaseJob& job : m_release.jobs)
        if (job.nType == type) lines.push_back(job.strLine);
      if (lines.empty()) continue;
      line(type == CProjectData::JOB_FOLDER ? "[FOLDER]" : type == CProjectData::JOB_FILES ? "[FILES]" : "[REGISTRY]");
      for (const std::string& job : lines) line(job);
    }
    int etc = 0;
    for (const ReleaseComponent& c : m_release.components) {
      if (c.strKind != "extra") continue;
      line("[ETC" + std::to_string(etc++) + "]");
      line("NAME=" + c.strName);
      line("PRO_DOWN_URL=" + PackageOf(c));
      PinLines("PRO_DOWN_URL", c.strPackage, line);
      if (!c.strProgram.empty()) line("PRO_EXE=" + c.strProgram);
      if (!c.strPath.empty()) line("PRO_PATH=" + c.strPath);
      if (!c.strRegistry.empty()) line("PRO_REG=" + c.strRegistry);
      if (!c.strCompulsion.empty()) line("PRO_COMPULSION=" + c.strCompulsion);
      line("ETC_END=1");
    }
    line("[END]");
    return doc;
  }

  const PublishOptions& m_options;
  PublishResult& m_result;
  ReleaseDescription m_release;
  fs::path m_base;
  fs::path m_out;
  std::string m_baseUrl;
  std::string m_servedFolder;
  std::string m_noticeName;
  std::vector<Package> m_packages;
  StagingFolder m_staging;
  std::vector<ServedFile> m_served;  // packages, then the notice, then the delta packages
  std::string m_archiveDir;
  std::map<const ReleaseComponent*, std::vector<OfferedDelta>> m_deltas;
};

}  // namespace

std::string ReleaseRecordOfKey(const std::string& keyFile) { return keyFile + ".last-release"; }

bool ForcePasses(const LintFinding& finding) {
  for (const char* id : {"own-file", "delta-apply", "delta-source", "delta-archive"})
    if (finding.strId == id) return false;
  return true;
}

bool StartReleaseRecord(const std::string& keyFile, std::string& error) {
  const fs::path record = fs::u8path(ReleaseRecordOfKey(keyFile));
  std::error_code ec;
  if (fs::exists(record, ec)) return true;
  return WriteFileAtomically(record, "0\n", error);
}

std::string WithExpiry(std::string_view covered, const std::string& expiresLine) {
  return WithPolicyLine(covered, kReleaseExpiresKey, expiresLine);
}

std::string WithPolicyLine(std::string_view covered, std::string_view key, const std::string& expiresLine) {
  std::string out;
  bool inside = false;
  bool written = false;
  size_t endAt = std::string::npos;  // where the "[END]" line starts in `out`
  while (!covered.empty()) {
    const size_t end = covered.find('\n');
    const std::string_view whole = covered.substr(0, end == std::string_view::npos ? covered.size() : end + 1);
    covered.remove_prefix(whole.size());
    std::string_view line = whole;
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r' || line.back() == ' ' || line.back() == '\t'))
      line.remove_suffix(1);
    while (!line.empty() && (line.front() == ' ' || line.front() == '\t')) line.remove_prefix(1);
    if (!line.empty() && line.front() == '[') {
      inside = line == kReleasePolicySectionLine;
      if (line == "[END]" && endAt == std::string::npos) endAt = out.size();
    } else if (inside && line.substr(0, key.size()) == key) {
      if (!written) out += expiresLine + "\r\n";
      written = true;
      continue;
    }
    out += whole;
  }
  if (!written) {
    // Into the existing section, else a new one before [END].
    const size_t sectionAt = out.find(std::string(kReleasePolicySectionLine) + "\r\n");
    if (sectionAt != std::string::npos) {
      out.insert(sectionAt + std::string_view(kReleasePolicySectionLine).size() + 2, expiresLine + "\r\n");
    } else {
      const std::string section = std::string(kReleasePolicySectionLine) + "\r\n" + expiresLine + "\r\n";
      if (endAt == std::string::npos) out += section;
      else out.insert(endAt, section);
    }
  }
  return out;
}

PublishResult Refresh(const PublishOptions& options, int rolloutPercent) {
  PublishResult result;
  result.strDocumentPath = kDocumentPath;
  const auto fail = [&result](const std::string& error) {
    result.saErrors.push_back(error);
    result.nExitCode = 2;
    return result;
  };
#ifdef TALVO_PUBLISH_SIGNING
  try {
    const fs::path path = fs::u8path(options.strOutDir) / fs::u8path(kDocumentPath);
    std::string document;
    SignedDocument served;
    std::string error = ReadServedSignedDocument(path, "only a signed release is refreshed", document, served);
    if (!error.empty()) return fail(error);
    std::string publicKey;
    if (!signing::ReadPublicKey(options.strSignKey, publicKey, error)) return fail(error);
    const std::string covered(served.covered);
    if (!signing::Verify(publicKey, covered, SignatureHex(served.signature)))
      return fail(path.u8string() + ": not signed by " + options.strSignKey + " (or changed since); nothing refreshed");
    const ReleaseNumber release = ReadReleaseNumber(covered);
    if (release.state != ReleaseNumberState::kFound)
      return fail(path.u8string() + ": " + DescribeReleaseNumberState(release.state));
    // A release the key has since signed a higher one of is not made fresh again: that would serve
    // an old release as current.
    const std::string record = ReleaseRecordOfKey(options.strSignKey);
    std::string recordText;
    long long signedBefore = 0;
    if (ReadFile(fs::u8path(record), recordText) && ParseRecordedRelease(recordText, signedBefore) &&
        signedBefore > static_cast<long long>(release.number)) {
      return fail("refused to refresh release " + std::to_string(release.number) + ": " + options.strSignKey +
                  " has signed release " + std::to_string(signedBefore) + " since (" + record + ")");
    }
    std::string refreshed = WithExpiry(covered, ExpiresLine(options.nExpiresInDays));
    if (rolloutPercent >= 0) {
      const ReleaseRollout before = ReadReleaseRollout(covered);
      if (before.state == RolloutState::kShare && before.percent == 0 && rolloutPercent == 100 && !options.bForce)
        return fail("refused to take release " + std::to_string(release.number) + " from 0 % (halted) to 100 % in one "
                    "step: raise it in steps (e.g. 10, 50, 100), or give --force");
      refreshed = WithPolicyLine(refreshed, kRolloutKey, kRolloutKey + std::to_string(rolloutPercent));
    }
    std::string signature;
    if (!signing::Sign(options.strSignKey, refreshed, signature, error)) return fail(error);
    const std::string out = WithSignatureSection(document, covered.size(), refreshed, signature);
    if (!WriteFileAtomically(path, out, error)) return fail(path.u8string() + ": " + error);
    result.nRelease = static_cast<long>(release.number);
    result.nRollout = ReadReleaseRollout(refreshed).percent;
    result.saWritten.push_back(kDocumentPath);
  } catch (const std::exception& e) {
    return fail(std::string("stopped: ") + e.what());
  }
  return result;
#else
  (void)options;
  return fail("this build of talvo-publish cannot sign: use the host build (OpenSSL)");
#endif
}

PublishResult ChangeKey(const PublishOptions& options) {
  PublishResult result;
  result.strDocumentPath = kDocumentPath;
  const auto fail = [&result](const std::string& error) {
    result.saErrors.push_back(error);
    result.nExitCode = 2;
    return result;
  };
#ifdef TALVO_PUBLISH_SIGNING
  try {
    const fs::path path = fs::u8path(options.strOutDir) / fs::u8path(kDocumentPath);
    std::string document;
    SignedDocument served;
    std::string error = ReadServedSignedDocument(path, "a key change goes into a signed release", document, served);
    if (!error.empty()) return fail(error);
    std::string trustedLine, newLine;
    if (!signing::ReadPublicKey(options.strSignKey, trustedLine, error)) return fail(error);
    if (!signing::ReadPublicKey(options.strNewKey, newLine, error)) return fail(error);
    std::string retiredLine = options.strRetireKey.empty() ? trustedLine : options.strRetireKey;
    crypto::P256PublicKey retiredKey, newKey;
    if (!crypto::ParsePublicKeyLine(retiredLine, retiredKey))
      return fail("--retire " + retiredLine + ": give the retired key's public key line (ecdsa-p256: and 128 hex digits)");
    crypto::ParsePublicKeyLine(newLine, newKey);
    retiredLine = crypto::FormatPublicKeyLine(retiredKey);
    if (newKey == retiredKey) return fail("the new key is the key retired: give another --new-key or --retire");

    KeyChanges changes;
    std::string problem;
    if (!ServedKeyChanges(&document, changes, problem))
      return fail(path.u8string() + ": its key changes are malformed (" + problem + ")");
    if (const KeyChange* retiring = RetiredBy(changes, trustedLine)) {
      return fail(options.strSignKey + " was retired by key change " + std::to_string(retiring->number) +
                  ": updaters no longer trust it to sign a change");
    }
    if (const KeyChange* retiring = RetiredBy(changes, retiredLine))
      return fail("the key to retire was retired by key change " + std::to_string(retiring->number) + " already");
    if (const KeyChange* retiring = RetiredBy(changes, newLine))
      return fail(options.strNewKey + " was retired by key change " + std::to_string(retiring->number) + ": it cannot come back");
    const std::string covered(served.covered);
    const std::string signatureHex = SignatureHex(served.signature);
    if (!signing::Verify(trustedLine, covered, signatureHex) && !signing::Verify(retiredLine, covered, signatureHex)) {
      return fail(path.u8string() + ": signed neither by " + options.strSignKey + " nor by the key retired (or changed "
                  "since); publish the release again with a trusted key first");
    }
    const ReleaseNumber release = ReadReleaseNumber(covered);
    if (release.state != ReleaseNumberState::kFound)
      return fail(path.u8string() + ": " + DescribeReleaseNumberState(release.state));
    if (!changes.changes.empty() && changes.changes.back().number >= kHighestReleaseNumber)
      return fail("no key change can follow key change " + std::to_string(changes.changes.back().number));

    KeyChange change;
    change.number = changes.changes.empty() ? 1 : changes.changes.back().number + 1;
    change.newKey = newKey;
    change.retiredKey = retiredKey;
    const std::string statement = KeyChangeStatement(change.number, newKey, retiredKey);
    std::string trustedSignature, newKeySignature;
    if (!signing::Sign(options.strSignKey, statement, trustedSignature, error) ||
        !signing::Sign(options.strNewKey, statement, newKeySignature, error))
      return fail(error);
    crypto::DecodeHex(trustedSignature, change.trustedSignature.data(), change.trustedSignature.size());
    crypto::DecodeHex(newKeySignature, change.newKeySignature.data(), change.newKeySignature.size());

    std::string changed = BeforeReleaseSection(covered, FormatKeyChangeSection(change));
    changed = WithExpiry(changed, ExpiresLine(options.nExpiresInDays));
    std::string signature;
    if (!signing::Sign(options.strNewKey, changed, signature, error)) return fail(error);
    const std::string out = WithSignatureSection(document, covered.size(), changed, signature);

    // The lint sees what is about to be served, against the packages served beside it.
    LintOptions lint;
    lint.bSigned = true;
    lint.strReleaseDir = options.strOutDir;
    lint.pFileDigest = &signing::Sha256OfFile;
    result.findings = LintDocument(out, lint);
    if (!result.findings.empty() && !options.bForce) {
      result.nExitCode = 1;
      return result;
    }

    // The new key has signed this release now: it must never sign a lower one.
    const std::string record = ReleaseRecordOfKey(options.strNewKey);
    std::string recordText;
    long long signedBefore = 0;
    const bool known = ReadFile(fs::u8path(record), recordText) && ParseRecordedRelease(recordText, signedBefore);
    if (!known || signedBefore < static_cast<long long>(release.number)) {
      if (!WriteFileAtomically(fs::u8path(record), std::to_string(release.number) + "\n", error))
        return fail(record + ": cannot record release " + std::to_string(release.number) + " (" + error + "); nothing changed");
    }
    if (!WriteFileAtomically(path, out, error)) return fail(path.u8string() + ": " + error);
    result.nRelease = static_cast<long>(release.number);
    result.nKeyChange = static_cast<long>(change.number);
    result.strNewKeyLine = newLine;
    result.strRetiredKeyLine = retiredLine;
    result.saWritten.push_back(kDocumentPath);
  } catch (const std::exception& e) {
    return fail(std::string("stopped: ") + e.what());
  }
  return result;
#else
  (void)options;
  return fail("this build of talvo-publish cannot sign: use the host build (OpenSSL)");
#endif
}

PublishResult Publish(const PublishOptions& options) {
  PublishResult result;
  try {
    Publisher(options, result).Run();
  } catch (const std::exception& e) {
    // A path the system cannot represent, or no memory: nothing more is written.
    result.saErrors.push_back(std::string("stopped: ") + e.what());
    result.nExitCode = 2;
  }
  return result;
}
