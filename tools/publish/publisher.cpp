#include "tools/publish/publisher.h"

#include <cstdlib>
#include <functional>

#include "catalogue/signeddocument.h"
#ifdef TALVO_PUBLISH_SIGNING
#include "tools/publish/releasesigning.h"
#endif

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <exception>
#include <set>
#include <system_error>

#include "catalogue/projectdata.h"
#include "net/parseurl.h"
#include "safename/safename.h"
#include "tools/publish/releasedescription.h"
#include "tools/publish/zipwriter.h"
#include "tools/talvo-doc/cp949.h"

namespace fs = std::filesystem;

namespace {

bool ReadFile(const fs::path& path, std::string& bytes) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  return !in.bad();
}

// Written beside the target and renamed over it, so a server never serves half a file.
bool WriteFileAtomically(const fs::path& path, const std::string& bytes) {
  std::error_code error;
  fs::create_directories(path.parent_path(), error);
  const fs::path temp = path.string() + ".tmp";
  {
    std::ofstream out(temp, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!out.flush()) return false;
  }
  fs::rename(temp, path, error);
  return !error;
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
  return folder.empty() || IsSafeRelativePath(folder);
}

struct Package {
  std::string strName;    // file name below the served folder
  fs::path filesDir;
  std::vector<std::string> saEntries;  // code page 949 entry names, sorted
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

    if (!CollectPackages()) return;
    for (const Package& package : m_packages)
      if (!WritePackage(package)) return;
    if (!m_release.strNoticeFile.empty() && !CopyNotice()) return;

    std::string document = Document();
    m_result.strDocumentPath = kDocumentPath;
    const fs::path documentPath = m_out / kDocumentPath;

    std::string old;
    LintOptions lint;
    lint.strReleaseDir = Utf8(m_out);
    const fs::path against = m_options.strAgainst.empty() ? documentPath : fs::u8path(m_options.strAgainst);
    if (ReadFile(against, old)) {
      lint.pOldDocument = &old;
    } else if (!m_options.strAgainst.empty()) {
      return Error(m_options.strAgainst + ": cannot read it");
    }
    if (!m_options.strSignKey.empty() && !Sign(document, lint.pOldDocument)) return;
    m_result.findings = LintDocument(document, lint);
    if (!m_result.findings.empty() && !m_options.bForce) {
      m_result.nExitCode = 1;
      return;
    }
    if (!WriteFileAtomically(documentPath, document)) return Error(Utf8(documentPath) + ": cannot write it");
    m_result.saWritten.push_back(kDocumentPath);
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

  bool CollectPackages() {
    size_t extraIndex = 0;
    for (ReleaseComponent& c : m_release.components) {
      if (!IsPackagedKind(c.strKind)) continue;
      if (c.strPackage.empty()) c.strPackage = DefaultPackageName(c, extraIndex);
      if (c.strKind == "extra") ++extraIndex;
      const std::string where = m_options.strDescription + ":" + std::to_string(c.nLine) + ": ";
      if (!IsSafeFileName(c.strPackage)) {
        Error(where + "\"" + c.strPackage + "\" is no plain file name for a package");
        return false;
      }
      Package package;
      package.strName = c.strPackage;
      package.filesDir = Local(c.strFilesDir);
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
          Error(where + "\"" + name + "\" is no file name the updater can unpack (code page 949, no device name)");
          return false;
        }
        package.saEntries.push_back(cp949);
      }
      if (package.saEntries.empty()) {
        Error(where + Utf8(package.filesDir) + " holds no file to pack");
        return false;
      }
      std::sort(package.saEntries.begin(), package.saEntries.end());
      const auto same = std::find_if(m_packages.begin(), m_packages.end(),
                                     [&](const Package& p) { return p.strName == package.strName; });
      if (same != m_packages.end()) {
        if (same->filesDir != package.filesDir) {
          Error(where + "package \"" + package.strName + "\" is named twice with different folders");
          return false;
        }
        continue;
      }
      m_packages.push_back(package);
    }
    return true;
  }

  // A package already served under this name keeps its bytes: clients and caches may hold it.
  bool WritePackage(const Package& package) {
    CZipWriter zip;
    for (const std::string& name : package.saEntries) {
      std::string utf8 = Cp949ToUtf8(name);
      std::string data;
      if (!ReadFile(package.filesDir / fs::u8path(utf8), data) || !zip.Add(name, data)) {
        Error(Utf8(package.filesDir / fs::u8path(utf8)) + ": cannot read or pack it");
        return false;
      }
    }
    const std::string bytes = zip.Finish();
    const std::string served = m_servedFolder + package.strName;
    const fs::path target = m_out / fs::u8path(Cp949ToUtf8(served));
    std::string existing;
    if (ReadFile(target, existing)) {
      if (existing == bytes) {
        m_result.saWritten.push_back(served + " (unchanged)");
        return true;
      }
      if (!m_options.bForce) {
        Error(Utf8(target) + " is already published with other contents: users and caches may hold it; give the "
                             "new package another name (a new version), or use --force");
        return false;
      }
    }
    if (!WriteFileAtomically(target, bytes)) {
      Error(Utf8(target) + ": cannot write it");
      return false;
    }
    m_result.saWritten.push_back(served);
    return true;
  }

  bool CopyNotice() {
    const fs::path source = Local(m_release.strNoticeFile);
    std::string bytes, name;
    if (!ReadFile(source, bytes)) {
      Error(Utf8(source) + ": cannot read the notice");
      return false;
    }
    if (!Utf8ToCp949(Utf8(source.filename()), name) || !IsSafeFileName(name)) {
      Error(Utf8(source) + ": no file name to serve the notice under");
      return false;
    }
    m_noticeName = name;
    const std::string served = m_servedFolder + name;
    if (!WriteFileAtomically(m_out / fs::u8path(Cp949ToUtf8(served)), bytes)) {
      Error(served + ": cannot write it");
      return false;
    }
    m_result.saWritten.push_back(served);
    return true;
  }

  std::string PackageOf(const ReleaseComponent& c) const { return m_baseUrl + c.strPackage; }

  // The size and SHA-256 of a package as written below the output folder, beside its address key.
  void PinLines(const std::string& urlKey, const ReleaseComponent& c,
                const std::function<void(const std::string&)>& line) const {
#ifdef TALVO_PUBLISH_SIGNING
    if (m_options.strSignKey.empty()) return;
    std::string sha;
    unsigned long long size = 0;
    const fs::path path = m_out / fs::u8path(Cp949ToUtf8(m_servedFolder + c.strPackage));
    if (!signing::Sha256OfFile(Utf8(path), sha, size)) return;  // the lint then finds it unpinned
    line(urlKey + "_SIZE=" + std::to_string(size));
    line(urlKey + "_SHA256=" + sha);
#else
    (void)urlKey, (void)c, (void)line;
#endif
  }

  // The release one above the served document's (1 for the first), then the signature over every
  // byte before it, as the last section.
  bool Sign(std::string& document, const std::string* old) {
#ifdef TALVO_PUBLISH_SIGNING
    long previous = 0;
    if (old) {
      const SignedDocument served = SplitSignedDocument(*old);
      const ReleaseNumber number =
          ReadReleaseNumber(served.state == SignatureState::kSigned ? served.covered : std::string_view(*old));
      if (number.state == ReleaseNumberState::kFound) previous = static_cast<long>(number.number);
    }
    if (previous >= 0x7FFFFFFF) return Error("the served document's release number cannot rise any more"), false;
    m_result.nRelease = previous + 1;
    document += "[RELEASE]\r\nNUMBER=" + std::to_string(m_result.nRelease) + "\r\n";
    std::string signature, error;
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
          PinLines(keys->szUrl, c, line);
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
    }
    // Each packed file reaches its folder through a COPY job; the jobs run after every package.
    std::vector<std::string> copies;
    for (const ReleaseComponent& c : m_release.components) {
      if (c.strCopyTo.empty()) continue;
      const auto package = std::find_if(m_packages.begin(), m_packages.end(),
                                        [&](const Package& p) { return p.strName == c.strPackage; });
      for (const std::string& name : package->saEntries) {
        const std::string copy = "COPY=" + c.strCopyTo + "," + name;
        if (std::find(copies.begin(), copies.end(), copy) == copies.end()) copies.push_back(copy);
      }
    }
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
      PinLines("PRO_DOWN_URL", c, line);
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
};

}  // namespace

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
