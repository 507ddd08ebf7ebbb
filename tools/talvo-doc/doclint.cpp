#include "tools/talvo-doc/doclint.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <exception>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <random>
#include <set>
#include <stdexcept>
#include <string_view>

#include "catalogue/versiontext.h"
#include "archive/filelayer.h"
#include "archive/zipfile.h"
#include "archive/zstdpatch.h"
#include "catalogue/noticefetch.h"
#include "catalogue/projectdata.h"
#include "localstate/datversion.h"
#include "localstate/regpath.h"
#include "localstate/splitstring.h"
#include "net/downloadname.h"
#include "net/parseurl.h"
#include "safename/safename.h"
#include "safename/updaterfiles.h"
#include "tools/talvo-doc/releasearchive.h"
#include "catalogue/jobline.h"
#include "catalogue/keychange.h"
#include "catalogue/signeddocument.h"

#ifdef _WIN32
#include "net/internetfiledown.h"
static_assert(kDocumentLimit == CInternetFileDown::kMaxTextBody, "the downloader's text limit");
#endif

namespace {

// The document is checked alone: the notice is never fetched.
std::string NoNetwork(const std::string&, unsigned long) { return std::string(); }

// Installs the fetcher that makes no request for the lifetime of the object.
class OfflineParse {
 public:
  OfflineParse() : m_previous(SetTextFetcher(&NoNetwork)) {}
  ~OfflineParse() { SetTextFetcher(m_previous); }
  OfflineParse(const OfflineParse&) = delete;
  OfflineParse& operator=(const OfflineParse&) = delete;

 private:
  FetchTextFn m_previous;
};

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

bool IsTrimmedSpace(char c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f';
}

std::string UpperAscii(std::string text) {
  for (char& c : text)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  return text;
}

std::string WithoutBlanks(const std::string& text) {
  std::string out;
  for (char c : text)
    if (!IsBlank(c)) out += c;
  return out;
}

bool HasOuterBlank(std::string_view text) {
  return !text.empty() && (IsBlank(text.front()) || IsBlank(text.back()));
}

std::string Quoted(std::string_view text) {
  const size_t kShown = 80;
  std::string shown(text.substr(0, kShown));
  if (text.size() > kShown) shown += "...";
  return "\"" + shown + "\"";
}

bool EndsWith(const std::string& text, const char* suffix) {
  const std::string_view s(suffix);
  return text.size() >= s.size() && text.compare(text.size() - s.size(), s.size(), s.data()) == 0;
}

bool IsDeltaUrlKey(const std::string& key) {
  std::string urlKey;
  unsigned number = 0;
  DeltaField field;
  return SplitDeltaKey(key, urlKey, number, field) && field == DeltaField::kUrl;
}
bool IsUrlKey(const std::string& key) { return EndsWith(key, "URL") || IsDeltaUrlKey(key); }
bool IsCompulsionKey(const std::string& key) { return EndsWith(key, "COMPULSION"); }

std::string SectionLabel(int section) {
  if (section >= CProjectData::SECTION_ETC_BASE)
    return "ETC" + std::to_string(section - CProjectData::SECTION_ETC_BASE);
  for (const auto& fixed : CProjectData::FixedSectionNames())
    if (fixed.second == section && fixed.second != CProjectData::SECTION_NONE) return fixed.first;
  return "?";
}

// One component offered with a package: the catalogue field names and the keys that set them.
struct PackageComponent {
  const char* szSection;
  const char* szVersionKey;
  const char* szUrlKey;
  const char* szCompulsionKey;
  std::string (CProjectData::*version)() const;
  std::string (CProjectData::*url)() const;
};

const PackageComponent kPackageComponents[] = {
    {"Talvo", "XP_VERSION", "XP_DOWNLOADURL", "XP_COMPULSION", &CProjectData::GetXPVersion,
     &CProjectData::GetXPDownloadUrl},
    {"Talvo", "98_VERSION", "98_DOWNLOADURL", "98_COMPULSION", &CProjectData::Get98Version,
     &CProjectData::Get98DownloadUrl},
    {"POLICE_DATA", "DAT_VERSION", "DOWN_DAT_URL", "DAT_COMPULSION", &CProjectData::GetDatVersion,
     &CProjectData::GetDatDownloadUrl},
    {"SERVER_LIST", "SERVER_VERSION", "SERVER_DOWN_URL", "SERVER_COMPULSION",
     &CProjectData::GetServerVersion, &CProjectData::GetServerDownloadUrl},
    {"LOGIN_OCX", "OCX_VERSION", "OCX_DOWN_URL", "OCX_COMPULSION", &CProjectData::GetOcxVersion,
     &CProjectData::GetOcxDownloadUrl},
    {"OPTIONS", "OPTIONS_VERSION", nullptr, "OPTION_COMPULSION", &CProjectData::GetOptionsVersion,
     nullptr},
};

bool IsDeltaFileKey(const std::string& key) {
  std::string urlKey;
  unsigned number = 0;
  DeltaField field;
  return SplitDeltaKey(key, urlKey, number, field) && field == DeltaField::kFile;
}

// The registry root names the install jobs know; anything else means HKEY_CURRENT_USER.
const char* const kRegistryRoots[] = {"HKCR", "HKCU", "HKLM", "HKU", "HKCC", "HKPD", "HKDD"};

constexpr char kTargetDirMacro[] = "<TARGETDIR>";

std::string Identity(const std::string& path, const std::string& name) {
  return name.empty() ? path : path + "\\" + name;
}

// Watches the updater's parse of one document and notes every trap it walks into.
class LintObserver : public CParseObserver {
 public:
  LintObserver(const std::string& text, CProjectData& catalogue) : m_text(text), m_catalogue(catalogue) {
    for (size_t i = 0; i < text.size(); ++i)
      if (text[i] == '\n') m_lineEnds.push_back(i);
  }

  void OnLine(size_t offset, const std::string& line) override {
    EndLine();
    size_t first = 0;
    while (first < line.size() && IsTrimmedSpace(line[first])) ++first;
    m_nLine = LineAt(offset + (first < line.size() ? first : 0));
    m_bKeySeen = false;
    m_bLineReported = false;
    m_bJoined = false;
    m_nSectionBefore = m_catalogue.m_nSection;
    size_t last = line.size();
    while (last > first && IsTrimmedSpace(line[last - 1])) --last;
    const size_t joined = line.find('\n', first);
    if (joined != std::string::npos && joined < last) {
      const std::string shortLine = line.substr(first, joined - first);
      Report("joined-line",
             "the one-character line " + Quoted(TrimRight(shortLine)) +
                 " with a bare LF line end is joined to the next line, and the updater reads the two "
                 "as one line (" + Quoted(NextLineText(line, joined)) +
                 " is lost); delete the short line, or use CR LF line ends");
      m_bJoined = true;  // what follows on this line is a consequence
    }
  }

  void OnStop(size_t offset, const std::string& line) override {
    EndLine();
    const size_t end = offset + line.size() + 1;
    const bool restHasText = std::any_of(m_text.begin() + static_cast<std::ptrdiff_t>(std::min(end, m_text.size())),
                                         m_text.end(), [](char c) { return !IsTrimmedSpace(c); });
    if (restHasText) {
      m_nLine = LineAt(offset);
      Report("meta-stop", "a line beginning with \"<meta\" ends the document: the updater reads neither it "
                          "nor anything after it; remove the line, or move it to the very end");
    }
    m_bStopped = true;
  }

  void OnSection(const std::string& name, int code) override {
    if (code == CProjectData::SECTION_NONE) m_bAfterEnd = true;
    if (code >= CProjectData::SECTION_ETC_BASE) m_nEtcLine = m_nLine;
    if (code != CProjectData::SECTION_UNKNOWN) {
      if (name == "ETC_END" && HasPendingEtc()) {
        Report("etc-uncommitted", "a [ETC_END] section line commits nothing: the extra project of [ETC" +
                                      std::to_string(m_catalogue.m_nEtcCount) +
                                      "] is never offered; write ETC_END=1 as the last line inside [ETC" +
                                      std::to_string(m_catalogue.m_nEtcCount) + "]");
        m_bPendingEtcReported = true;
      }
      return;
    }
    // A section switch hides the lines after it, so it is told even beside another finding.
    if (m_bJoined) return;
    const std::string next = " until the next known section line";
    if (!name.empty() && name[0] == '=') {
      Report("bracket-in-value", "the \"[\" ... \"]\" in this value is read as a section line: the lines after it are "
                                 "ignored" + next + "; keep brackets out of values");
      return;
    }
    const std::string upper = UpperAscii(name);
    const std::string etc = "ETC" + std::to_string(m_catalogue.m_nEtcCount);
    for (const auto& fixed : CProjectData::FixedSectionNames()) {
      if (upper == UpperAscii(fixed.first)) {
        Report("section-case", "section names are case-sensitive: [" + name + "] names no section and its lines are "
                               "ignored" + next + "; write [" + fixed.first + "]");
        return;
      }
      if (WithoutBlanks(name) == fixed.first) {
        Report("section-blank", "blanks inside the brackets belong to the name: [" + name + "] names no section and "
                                "its lines are ignored" + next + "; write [" + fixed.first + "]");
        return;
      }
    }
    if (upper == etc || WithoutBlanks(upper) == etc) {
      Report("section-case", "[" + name + "] names no section and its lines are ignored" + next + "; write [" + etc + "]");
      return;
    }
    if (upper.compare(0, 3, "ETC") == 0 && upper.size() > 3 &&
        std::all_of(upper.begin() + 3, upper.end(), [](char c) { return c >= '0' && c <= '9'; })) {
      Report("etc-number", "extra projects are read in order: the next one must be [" + etc + "], so [" + name +
                               "] and its lines are ignored" + next + "; number them from ETC0 without gaps, "
                               "each ending with ETC_END=1");
      return;
    }
    // The signed form's sections: read by updaters built with a release key, skipped by the rest.
    if (name == "RELEASE" || name == "RELEASE_POLICY" || name == "KEY_CHANGE" || name == "SIGNATURE") return;
    Report("unknown-section", "[" + name + "] names no section: its lines are ignored" + next +
                                  " (a typo?); known sections: [Talvo] [POLICE_DATA] [SERVER_LIST] [LOGIN_OCX] "
                                  "[OPTIONS] [NOTICE] [FOLDER] [FILES] [REGISTRY] [ETC0]... [END]");
  }

  void OnKey(int section, const std::string& key, std::string_view value, KeyUse use) override {
    // After the first "=" of a line the key starts with "=": the rest of that line is one value.
    if (!key.empty() && key[0] == '=') return;
    if (m_bKeySeen) return;
    m_bKeySeen = true;
    if (m_bLineReported) return;
    switch (use) {
      case KEY_IGNORED: return IgnoredKey(section, key);
      case KEY_UNKNOWN: return UnknownKey(section, key);
      case KEY_COMMITTED:
        m_etcLines.push_back(m_nEtcLine);
        m_nEtcCommitLine = m_nLine;
        return;
      case KEY_STORED: return StoredKey(section, key, value);
    }
  }

  void OnJobLine(int type, const std::string& job) override {
    if (m_bLineReported) return;
    std::vector<std::string> fields;
    SplitJobLine(type, job, fields);
    const std::string& keyword = fields[0];
    const JobRule* rule = FindJobRule(type, keyword);
    const std::string here = "[" + SectionLabel(type) + "]";
    if (rule == nullptr) {
      if (keyword == "DONE") {
        Report("unknown-job", "DONE marks a line as carried out: the updater never runs it; write the command word");
        return;
      }
      if (FindJobRule(type, WithoutBlanks(keyword)) != nullptr) {
        Report("blank-before-equals", "the command word " + Quoted(keyword) + " keeps its blank and matches nothing: "
                                      "the line does nothing; write " + WithoutBlanks(keyword) + "=");
        return;
      }
      for (int other = CProjectData::JOB_FOLDER; other <= CProjectData::JOB_REGISTRY; ++other) {
        if (FindJobRule(other, keyword) != nullptr || FindJobRule(other, UpperAscii(keyword)) != nullptr) {
          const std::string what = FindJobRule(other, keyword) != nullptr
                                       ? keyword + " is a [" + SectionLabel(other) + "] job"
                                       : "command words are case-sensitive (" + UpperAscii(keyword) + " is a [" +
                                             SectionLabel(other) + "] job)";
          Report("unknown-job", what + ": in " + here + " the updater does nothing with this line");
          return;
        }
      }
      Report("unknown-job", Quoted(keyword) + " is no command of " + here +
                                ": the line does nothing (a typo?); commands there: " + CommandsOf(type));
      return;
    }
    // Windows drops blanks at the end of a path, so only registry fields keep trailing ones.
    for (size_t i = 1; i < fields.size(); ++i) {
      const std::string& f = fields[i];
      if (!f.empty() && (IsBlank(f.front()) || (type == CProjectData::JOB_REGISTRY && IsBlank(f.back())))) {
        Report("value-blank", "field " + std::to_string(i) + " " + Quoted(f) +
                                  " keeps its blank (nothing is trimmed around \"=\" and \",\"); remove it");
        return;
      }
    }
    if (type == CProjectData::JOB_FILES && keyword == "COPY") {
      JobOperands operands;
      if (!MakeJobOperands(*rule, fields, "\\", &Identity, operands)) {
        Report("copy-source", "the staged file " + Quoted(fields[2]) + " is not a plain name inside the staging "
                              "folder: the updater refuses this COPY; name the file as it lies in its package");
        return;
      }
      // The first COPY moves the file out of the staging folder: a later one into another
      // folder never finds it.
      for (const StagedCopy& earlier : m_copies) {
        if (WindowsNameKey(earlier.strFile) == WindowsNameKey(fields[2]) &&
            FolderKey(earlier.strFolder) != FolderKey(fields[1])) {
          Report("copy-twice", "line " + std::to_string(earlier.nLine) + " already copies " + Quoted(fields[2]) +
                                   " into " + Quoted(earlier.strFolder) + " and takes it out of the staging folder: "
                                   "this COPY never finds it; copy each staged file once (name the files apart)");
          return;
        }
      }
      if (FolderKey(fields[1]) == WindowsNameKey(kTargetDirMacro) && IsUpdaterOwnName(fields[2])) {
        Report("own-file", Quoted(fields[2]) + " is a name the updater keeps for itself beside the client (" +
                               kUpdaterProgramName + ", the staging folder " + kStagingFolderName + ", " +
                               kInstallJournalName + ", " + kSetAsideFolderName + ", " + kReleaseRecordName +
                               ", and any Update.*): copied into <TARGETDIR> it would replace the running program, "
                               "the journal that undoes a broken install, or the record of the releases accepted; "
                               "name the file otherwise");
        return;
      }
      m_copies.push_back({m_nLine, fields[1], fields[2]});
      return;
    }
    if (type == CProjectData::JOB_REGISTRY) RegistryJob(job, fields);
  }

  // Called after the parse with its result.
  void Finish(int hasDownload) {
    EndLine();
    if (!m_bPendingEtcReported && HasPendingEtc()) {
      m_nLine = m_nEtcLine;
      Report("etc-uncommitted", "this extra project never reaches ETC_END=: the updater never offers it; end [ETC" +
                                    std::to_string(m_catalogue.m_nEtcCount) + "] with ETC_END=1");
    }
    m_nLine = 0;
    if (m_text.size() > kDocumentLimit) {
      Report("size-limit", "the document is " + std::to_string(m_text.size()) + " bytes, over the updater's limit of " +
                               std::to_string(kDocumentLimit) + ": it receives no document at all; shorten it");
    } else if (m_text.size() > kDocumentLimit / 10 * 9) {
      Report("size-limit", "the document is " + std::to_string(m_text.size()) + " bytes, near the updater's limit of " +
                               std::to_string(kDocumentLimit) + " (beyond it no document is received); shorten it");
    }
    if (!hasDownload) {
      Report("no-download", "no component package address (XP_DOWNLOADURL, 98_DOWNLOADURL, DOWN_DAT_URL, "
                            "SERVER_DOWN_URL, OCX_DOWN_URL) is read: the updater does nothing with this document");
    } else if (m_catalogue.m_arrEtcProject.empty()) {
      Report("no-extra-project", "no extra project is committed: the updater opens its update window only when the "
                                 "document commits one ([ETC0] ... ETC_END=1), so no user is ever updated");
    }
    ComponentChecks();
  }

  int LineOf(const std::string& field) const {
    const auto it = m_fieldLines.find(field);
    return it == m_fieldLines.end() ? 0 : it->second;
  }
  int EtcLine(size_t index) const { return index < m_etcLines.size() ? m_etcLines[index] : 0; }
  int EtcUrlLine(size_t index) const {
    const int line = LineOf("ETC" + std::to_string(index) + "/PRO_DOWN_URL");
    return line != 0 ? line : EtcLine(index);
  }

  std::vector<LintFinding> m_findings;
  struct StagedCopy {
    int nLine;
    std::string strFolder;
    std::string strFile;  // as it lies in the staging folder
  };
  std::vector<StagedCopy> m_copies;  // every COPY

 private:
  int LineAt(size_t offset) const {
    return static_cast<int>(std::lower_bound(m_lineEnds.begin(), m_lineEnds.end(), offset) - m_lineEnds.begin()) + 1;
  }

  static std::string FolderKey(const std::string& folder) {
    std::string key = WindowsNameKey(folder);
    while (!key.empty() && key.back() == '/') key.pop_back();
    return key;
  }

  static std::string TrimRight(std::string text) {
    while (!text.empty() && IsTrimmedSpace(text.back())) text.pop_back();
    return text;
  }

  static std::string NextLineText(const std::string& line, size_t joined) {
    const size_t end = line.find('\n', joined + 1);
    return TrimRight(line.substr(joined + 1, end == std::string::npos ? std::string::npos : end - joined - 1));
  }

  void Report(const std::string& id, const std::string& text) {
    m_findings.push_back({m_nLine, id, text});
    m_bLineReported = true;
  }

  // A "[" left open by the line just read keeps every later line from being read.
  void EndLine() {
    if (m_nLine == 0 || m_bStopped) return;
    if (m_catalogue.m_nSection == CProjectData::SECTION_OPEN_BRACKET &&
        m_nSectionBefore != CProjectData::SECTION_OPEN_BRACKET && !m_bJoined) {
      Report("unclosed-bracket", "this \"[\" has no \"]\": the updater ignores every line until one closes a "
                                 "bracket; close the section name, and keep \"[\" out of values");
    }
    m_nSectionBefore = m_catalogue.m_nSection;
  }

  bool HasPendingEtc() const {
    const EtcProject& p = m_catalogue.m_CurEtcProject;
    return !(p.m_strName.empty() && p.m_strDownloadUrl.empty() && p.m_strExe.empty() && p.m_strPath.empty() &&
             p.m_strReg.empty() && p.m_strCompulsion.empty());
  }

  void IgnoredKey(int section, const std::string& key) {
    if (section == CProjectData::SECTION_NONE) {
      const std::string where = m_bAfterEnd ? "after [END] (or [ETC_END])" : "before the first section line";
      std::string home;
      const int owner = CProjectData::SectionOfKey(key);
      if (owner > 0) home = "; put it under [" + SectionLabel(owner == CProjectData::SECTION_ETC_BASE
                                                                    ? owner + m_catalogue.m_nEtcCount
                                                                    : owner) + "]";
      Report("ignored-line", "key lines " + where + " are ignored" + home);
    } else if (section == CProjectData::SECTION_UPDATE_DATA) {
      Report("ignored-line", "[UPDATE_DATA] is recognised but every line in it is ignored; move the line to the "
                             "section it belongs to");
    } else if (section >= CProjectData::SECTION_ETC_BASE) {
      Report("ignored-line", "ETC_END at line " + std::to_string(m_nEtcCommitLine) +
                                 " already committed this extra project: the rest of its section is ignored; "
                                 "put ETC_END=1 last");
    }
    // An unknown section or an open bracket was reported where it began.
  }

  void UnknownKey(int section, const std::string& key) {
    const std::string here = "[" + SectionLabel(section) + "]";
    const std::string trimmed = WithoutBlanks(key);
    if (trimmed != key && CProjectData::SectionOfKey(trimmed) != CProjectData::SECTION_UNKNOWN) {
      Report("blank-before-equals", "the key " + Quoted(key) + " keeps its blank and matches nothing: the line is "
                                    "ignored; write " + trimmed + "= with no blank before \"=\"");
      return;
    }
    const int owner = CProjectData::SectionOfKey(key);
    if (owner != CProjectData::SECTION_UNKNOWN) {
      const std::string home =
          owner == CProjectData::SECTION_ETC_BASE ? "[ETCn]" : "[" + SectionLabel(owner) + "]";
      Report("misplaced-key", key + " is read only in " + home + ": in " + here + " the line is ignored; move it");
      return;
    }
    Report("unknown-key", Quoted(key) + " is no key of " + here + ": the line is ignored (a typo?)");
  }

  void StoredKey(int section, const std::string& key, std::string_view value) {
    const std::string field = SectionLabel(section) + "/" + key;
    if (IsDeltaFileKey(key)) {
      m_fieldLines.emplace(field, m_nLine);  // one line per file: the first one stands for them
    } else if (key != "OPTIONS_SETTING") {
      const auto it = m_fieldLines.find(field);
      if (it != m_fieldLines.end()) {
        const int earlier = it->second;
        it->second = m_nLine;
        Report("duplicate-key", key + " was already given at line " + std::to_string(earlier) +
                                    ": the updater keeps this later value; keep one of the two lines");
        return;
      }
      m_fieldLines[field] = m_nLine;
    }
    if (HasOuterBlank(value)) {
      Report("value-blank", "the value is stored with its blank as " + Quoted(value) +
                                " (a value ends only at \";\" or the line end, untrimmed); remove the blank, "
                                "e.g. " + key + "=" + WithoutBlanks(std::string(value)) + ";comment");
      return;
    }
    const size_t comment = value.find("//");
    if (comment != std::string_view::npos && (!IsUrlKey(key) || (comment > 0 && IsBlank(value[comment - 1])))) {
      Report("value-comment", "\"//\" after \"=\" starts no comment: the value is stored as " + Quoted(value) +
                                  "; start a comment with \";\"");
      return;
    }
    if ((key == "OPTIONS_SETTING" || key == "NOTICE_URL") && value.find('"') != std::string_view::npos) {
      Report("kept-quotes", key + " keeps its double quotes: the updater uses " + Quoted(value) +
                                " as written; write it without quotes");
      return;
    }
    if (IsCompulsionKey(key) && value != "0" && value != "1") {
      Report("compulsion", "the updater treats every text but \"0\" as compulsory, so " + Quoted(value) +
                               " makes the update compulsory; write " + key + "=1 (compulsory) or " + key +
                               "=0 (optional)");
      return;
    }
    if (key == "OPTIONS_SETTING") {
      std::vector<std::string> parts;
      SplitString(std::string(value), "\\\\", parts);
      if (parts.size() != 3) {
        Report("option-setting", "the updater writes only settings of three parts, Section\\\\Key\\\\Value, each "
                                 "separated by two backslashes; " + Quoted(value) + " has " +
                                     std::to_string(parts.size()) + " and is refused (with the settings after it)");
      }
      return;
    }
    if (IsUrlKey(key)) UrlValue(key, std::string(value));
  }

  void UrlValue(const std::string& key, const std::string& url) {
    unsigned long service = 0;
    std::string server, object;
    unsigned short port = 0;
    if (!AfxParseURL(url, service, server, object, port) ||
        (service != AFX_INET_SERVICE_HTTP && service != AFX_INET_SERVICE_HTTPS)) {
      Report("url", Quoted(url) + " is no http:// or https:// address the updater can request; write "
                                  "http://host/path/file");
      return;
    }
    // The notice is read as text and saved nowhere: its address may end in anything.
    if (key == "NOTICE_URL") return;
    const std::string name = DownloadFileName(url);
    if (!IsSafeFileName(name)) {
      const bool query = name.find('?') != std::string::npos;
      Report("url-name", std::string("the updater saves the package under the address's last segment") +
                             (query ? ", query included, " : ", ") + Quoted(name) +
                             ", which is no file name Windows can write (no \\ / : < > \" | ? * or control "
                             "characters, no device name such as CON, NUL, COM1 or LPT1): the download cannot be "
                             "saved; end the address with a file name such as package.zip" +
                             (query ? ", without a query (a query is fine in NOTICE_URL, which is read as text)"
                                    : ""));
    }
  }

  void RegistryJob(const std::string& job, const std::vector<std::string>& fields) {
    if (job.find('"') != std::string::npos) {
      Report("kept-quotes", "REGISTRY lines keep their double quotes: the updater uses " + Quoted(fields[1]) +
                                " with its quotes as the key path; write the line without quotes");
      return;
    }
    const RegistryPath path = SplitRegistryPath(fields[1]);
    if (path.strRootName == "HKLM") {
      Report("hklm", "the updater runs as the user: registry jobs under HKEY_LOCAL_MACHINE fail (and are retried "
                     "after every package); keep the data under HKCU");
      return;
    }
    for (const char* root : kRegistryRoots)
      if (path.strRootName == root) return;
    std::string meant;
    for (const char* root : kRegistryRoots)
      if (UpperAscii(path.strRootName) == root) meant = root;
    Report("registry-root", "the key path starts with " + Quoted(path.strRootName) +
                                ", no root name the updater knows, so it writes under HKEY_CURRENT_USER, sub key " +
                                Quoted(path.strSubKey) + "; write " +
                                (meant.empty() ? std::string("HKCU\\... (roots: HKCR HKCU HKLM HKCC)") : meant + "\\..."));
  }

  static std::string CommandsOf(int type) {
    std::string list;
    const char* const words[] = {"CREATE", "DELETE", "CHANGE", "COPY", "UNREGIST", "REGIST",
                                 "ADDKEY", "DELKEY", "ADDVAL", "DELVAL"};
    for (const char* word : words)
      if (FindJobRule(type, word) != nullptr) list += (list.empty() ? "" : " ") + std::string(word);
    return list;
  }

  void ComponentChecks() {
    for (const PackageComponent& c : kPackageComponents) {
      const std::string prefix = std::string(c.szSection) + "/";
      const int versionLine = LineOf(prefix + c.szVersionKey);
      const int urlLine = c.szUrlKey ? LineOf(prefix + c.szUrlKey) : 0;
      const bool hasVersion = !(m_catalogue.*c.version)().empty();
      const bool hasUrl = c.url && !(m_catalogue.*c.url)().empty();
      if (hasUrl && !hasVersion) {
        m_nLine = urlLine;
        Report("missing-version", std::string("no ") + c.szVersionKey + ": an empty offered version is never above "
                                  "the installed one, so no user takes this package; add " + c.szVersionKey + "=");
      } else if (hasVersion && c.url && !hasUrl) {
        m_nLine = versionLine;
        Report("missing-url", std::string("no ") + c.szUrlKey + ": users are offered this version but the updater "
                              "has no package to download; add " + c.szUrlKey + "=http://...");
      } else if (hasVersion && LineOf(prefix + c.szCompulsionKey) == 0) {
        m_nLine = versionLine;
        Report("compulsion", std::string("no ") + c.szCompulsionKey + ": the updater treats a missing compulsion as "
                             "compulsory; write " + c.szCompulsionKey + "=1 (compulsory) or =0 (optional)");
      }
    }
    for (size_t i = 0; i < m_catalogue.m_arrEtcProject.size(); ++i) {
      const EtcProject& p = *m_catalogue.m_arrEtcProject[i];
      m_nLine = EtcLine(i);
      if (p.m_strDownloadUrl.empty()) {
        Report("missing-url", "extra project " + Quoted(p.m_strName) + " has no PRO_DOWN_URL: nothing can be "
                              "installed for it; add PRO_DOWN_URL=http://...");
      }
    }
  }

  const std::string& m_text;
  CProjectData& m_catalogue;
  std::vector<size_t> m_lineEnds;
  int m_nLine = 0;
  bool m_bKeySeen = false;
  bool m_bLineReported = false;
  bool m_bJoined = false;
  bool m_bStopped = false;
  bool m_bAfterEnd = false;
  bool m_bPendingEtcReported = false;
  int m_nSectionBefore = CProjectData::SECTION_NONE;
  int m_nEtcLine = 0;
  int m_nEtcCommitLine = 0;
  std::vector<int> m_etcLines;  // section line of each committed extra project
  std::map<std::string, int> m_fieldLines;
};

// Parses with the updater's own parser.
struct ParsedDocument {
  ParsedDocument() = default;
  ParsedDocument(const ParsedDocument&) = delete;
  ParsedDocument& operator=(const ParsedDocument&) = delete;
  CProjectData catalogue;
};

void CheckAgainst(const CProjectData& now, const LintObserver& observer, const std::string& oldText,
                  std::vector<LintFinding>& findings) {
  ParsedDocument old;
  old.catalogue.Parse(oldText);
  for (const PackageComponent& c : kPackageComponents) {
    const std::string offered = (now.*c.version)();
    const std::string before = (old.catalogue.*c.version)();
    if (offered.empty() || before.empty()) continue;
    const int line = observer.LineOf(std::string(c.szSection) + "/" + c.szVersionKey);
    const int order = CompareVersionText(offered, before);
    if (order < 0) {
      findings.push_back({line, "version-order",
                          c.szVersionKey + std::string(" ") + Quoted(offered) + " sorts before the served " +
                              Quoted(before) + " (versions compare as text, character by character, not as "
                              "numbers): no user holding " + Quoted(before) + " takes it; choose a version that "
                              "sorts after it as text, e.g. " + Quoted(before + ".1")});
    } else if (order == 0 && c.url && (now.*c.url)() != (old.catalogue.*c.url)()) {
      findings.push_back({line, "version-order",
                          "the package address changed but " + std::string(c.szVersionKey) + " is still " +
                              Quoted(offered) + ": users holding it never take the new package; raise the version"});
    }
  }
}

// The relative path a package address names under the web server's root: the URL's path with
// its %XX escapes read, without the query. Empty when there is none.
std::string ServedPath(const std::string& url) {
  unsigned long service = 0;
  std::string server, object;
  unsigned short port = 0;
  if (!AfxParseURL(url, service, server, object, port)) return std::string();
  object = object.substr(0, object.find('?'));
  std::string path;
  for (size_t i = 0; i < object.size(); ++i) {
    const auto hex = [](char c) {
      return c >= '0' && c <= '9' ? c - '0' : c >= 'a' && c <= 'f' ? c - 'a' + 10 : c >= 'A' && c <= 'F' ? c - 'A' + 10 : -1;
    };
    if (object[i] == '%' && i + 2 < object.size() && hex(object[i + 1]) >= 0 && hex(object[i + 2]) >= 0) {
      path += static_cast<char>(hex(object[i + 1]) * 16 + hex(object[i + 2]));
      i += 2;
    } else {
      path += object[i];
    }
  }
  while (!path.empty() && path[0] == '/') path.erase(0, 1);
  return path;
}

// The version the updater will read back from the filter data file this package installs.
bool StagedDatVersion(CZipEntry& entry, std::string& version) {
  namespace fs = std::filesystem;
  std::error_code error;
  const fs::path temp = fs::temp_directory_path(error) / ("talvo-lint-" + std::to_string(std::random_device()()) + ".dat");
  if (error || !entry.ExtractTo(temp.string())) return false;
  unsigned char bytes[kDatVersionBytes] = {};
  std::ifstream in(temp, std::ios::binary);
  in.read(reinterpret_cast<char*>(bytes), sizeof bytes);
  version = DecodeDatVersion(bytes, static_cast<size_t>(in.gcount()));
  in.close();
  fs::remove(temp, error);
  return true;
}

void CheckFilterVersion(CZipFile& zip, const std::string& relative, const std::string& offered, int line,
                        std::vector<LintFinding>& findings) {
  for (int i = 0; i < zip.GetCount(); ++i) {
    CZipEntry& entry = *zip.GetEntry(i);
    if (WindowsNameKey(entry.m_strName) != "TALVO.DAT") continue;
    std::string version;
    if (!StagedDatVersion(entry, version)) {
      findings.push_back({line, "release-zip", "the updater cannot unpack talvo.dat from " + Quoted(relative) +
                                               " (" + DescribeZipFailure(zip.GetLastFailure()) + "); make it again"});
    } else if (version != offered) {
      findings.push_back({line, "dat-version",
                          "talvo.dat in " + Quoted(relative) + " carries the version " + Quoted(version) +
                              " but DAT_VERSION offers " + Quoted(offered) + ": after the install the updater "
                              "reads " + Quoted(version) + " back and offers this update again; make them equal"});
    }
    return;
  }
  findings.push_back({line, "dat-version", "the filter data package " + Quoted(relative) + " holds no talvo.dat: the "
                                           "version the updater reads back never changes, and DAT_VERSION is offered "
                                           "on every run; pack talvo.dat"});
}

// Whether a file is served at `relative` below the release folder.
bool IsServed(const std::string& dir, const std::string& relative) {
  filelayer::UniqueFile file(filelayer::OpenForReading(dir + "/" + relative));
  return file.IsValid();
}

void CheckRelease(const CProjectData& doc, const LintObserver& observer, const std::string& dir,
                  std::vector<LintFinding>& findings) {
  struct Package {
    int nLine;
    std::string strUrl;
    bool bFilterData;
    bool bMainProgram;  // the XP or the 98 build: alternatives, no user takes both
  };
  std::vector<Package> packages;
  for (const PackageComponent& c : kPackageComponents) {
    if (!c.url || (doc.*c.url)().empty()) continue;
    packages.push_back({observer.LineOf(std::string(c.szSection) + "/" + c.szUrlKey), (doc.*c.url)(),
                        c.url == &CProjectData::GetDatDownloadUrl,
                        c.url == &CProjectData::GetXPDownloadUrl || c.url == &CProjectData::Get98DownloadUrl});
  }
  for (size_t i = 0; i < doc.m_arrEtcProject.size(); ++i) {
    if (!doc.m_arrEtcProject[i]->m_strDownloadUrl.empty())
      packages.push_back({observer.EtcUrlLine(i), doc.m_arrEtcProject[i]->m_strDownloadUrl, false, false});
  }

  const std::string notice = ServedPath(doc.GetNoticeUrl());
  if (!notice.empty() && !IsServed(dir, notice)) {
    findings.push_back({observer.LineOf("NOTICE/NOTICE_URL"), "release-missing",
                        "the notice " + Quoted(notice) + " is not in the release folder: users see no notice; "
                        "publish it there"});
  }

  // Every file name some package puts in the staging folder, and which package it came from.
  std::vector<std::string> staged;
  std::vector<size_t> stagedFrom;
  std::vector<std::string> relatives(packages.size());
  std::set<std::string> opened;
  for (size_t index = 0; index < packages.size(); ++index) {
    const Package& package = packages[index];
    const std::string relative = ServedPath(package.strUrl);
    relatives[index] = relative;
    if (relative.empty()) continue;  // reported as a bad address already
    if (!opened.insert(relative).second) continue;
    const std::string path = dir + "/" + relative;
    CZipFile zip;
    if (!zip.Open(path)) {
      const bool missing = zip.GetLastFailure() == ZipFailure::kOpenArchive;
      findings.push_back({package.nLine, missing ? "release-missing" : "release-zip",
                          missing ? "the package " + Quoted(relative) + " is not in the release folder: every "
                                    "download of it fails; publish it there"
                                  : "the updater cannot open the package " + Quoted(relative) + " (" +
                                        DescribeZipFailure(zip.GetLastFailure()) + "); make it again"});
      continue;
    }
    const std::string saved = WindowsNameKey(DownloadFileName(package.strUrl));
    std::vector<std::string> plain;
    std::set<std::string> told;  // names already reported: a clash they cause is the same trap
    const auto nameFinding = [&](const std::string& name, const std::string& what) {
      findings.push_back(
          {package.nLine, "release-name", "the package " + Quoted(relative) + " holds " + Quoted(name) + what});
      told.insert(name);
    };
    for (int i = 0; i < zip.GetCount(); ++i) {
      const std::string& name = zip.GetEntry(i)->m_strName;
      // No folders are created while unpacking, so even a safe path below a folder fails.
      if (!IsSafeRelativePath(name) || name.find('/') != std::string::npos) {
        const bool unsafe = !IsSafeRelativePath(name);
        nameFinding(name, std::string(unsafe ? ", a name the updater refuses (it would leave the staging folder, "
                                               "name a device or hold a character Windows refuses)"
                                             : ", inside a folder: the updater creates no folders") +
                              " and stops unpacking the package; keep only plain file names at its top");
        continue;
      }
      if (WindowsNameKey(name) == saved) {
        nameFinding(name, ", the name the package itself is saved under in the staging folder: unpacking it "
                          "deletes the package and fails; rename the file");
      } else if (!KeepsItsNameOnWindows(name)) {
        const size_t kept = name.find_last_not_of(". ");
        nameFinding(name, kept == std::string::npos
                              ? ", only dots and blanks: no file name at all once Windows drops them; rename it"
                              : ", which ends in a dot or a blank: Windows drops it and writes the file as " +
                                    Quoted(name.substr(0, kept + 1)) + "; rename it");
      }
      plain.push_back(name);
    }
    for (const auto& clash : FindWindowsNameClashes(plain)) {
      if (told.count(plain[clash.first]) != 0 || told.count(plain[clash.second]) != 0) continue;
      nameFinding(plain[clash.first], " and " + Quoted(plain[clash.second]) + ", one file for Windows (case and "
                                      "trailing dots and blanks do not count): unpacking the second replaces the "
                                      "first; rename one");
    }
    for (const std::string& name : plain) {
      staged.push_back(name);
      stagedFrom.push_back(index);
    }
    if (package.bFilterData) CheckFilterVersion(zip, relative, doc.GetDatVersion(), package.nLine, findings);
  }
  // Every package unpacks into the one staging folder and a COPY takes a file whichever package
  // brought it.
  std::set<std::pair<size_t, std::string>> told;
  for (const auto& clash : FindWindowsNameClashes(staged)) {
    size_t here = stagedFrom[clash.second];
    size_t other = stagedFrom[clash.first];
    if (here == other) continue;  // told with the package
    if (packages[here].bMainProgram && packages[other].bMainProgram) continue;
    // Told at the later of the two lines.
    if (packages[here].nLine < packages[other].nLine) std::swap(here, other);
    const std::string& name = staged[clash.second];
    if (!told.insert({here, WindowsNameKey(name)}).second) continue;
    findings.push_back({packages[here].nLine, "release-shared-name",
                        Quoted(name) + " is in this package, " + Quoted(relatives[here]) + ", and in " +
                            Quoted(relatives[other]) + " (line " + std::to_string(packages[other].nLine) +
                            "): every package unpacks into the one staging folder and a COPY takes the file "
                            "whichever package brought it, so one package's file lands where the other's belongs, "
                            "or is never installed; give each package its own file names (only the XP and 98 "
                            "builds, which no user takes both, may share them)"});
  }
  std::set<std::string> stagedKeys;
  for (const std::string& name : staged) stagedKeys.insert(WindowsNameKey(name));
  for (const auto& copy : observer.m_copies) {
    if (stagedKeys.count(WindowsNameKey(copy.strFile)) == 0) {
      findings.push_back({copy.nLine, "release-copy",
                          "COPY takes " + Quoted(copy.strFile) + " from the staging folder, but no package of the "
                          "release holds it: the line never succeeds; add the file to its package"});
    }
  }
}

// An updater built with a release key fetches only what the signed document pins: every package
// address (each extra project's too) and the notice need their size and SHA-256, and with the
// release folder those must be the served file's.
void CheckPins(const CProjectData& doc, const LintObserver& observer, const LintOptions& options,
               std::vector<LintFinding>& findings) {
  struct Pinned {
    int nLine;
    std::string strKey;  // the address key, for the finding
    std::string strUrl;
    PackagePin pin;
    bool bNotice;
  };
  const std::pair<const char*, PackagePin (CProjectData::*)() const> componentPins[] = {
      {"XP_DOWNLOADURL", &CProjectData::GetXPDownloadPin},   {"98_DOWNLOADURL", &CProjectData::Get98DownloadPin},
      {"DOWN_DAT_URL", &CProjectData::GetDatDownloadPin},    {"SERVER_DOWN_URL", &CProjectData::GetServerDownloadPin},
      {"OCX_DOWN_URL", &CProjectData::GetOcxDownloadPin},
  };
  std::vector<Pinned> pinned;
  for (const PackageComponent& c : kPackageComponents) {
    if (!c.url || (doc.*c.url)().empty()) continue;
    for (const auto& componentPin : componentPins) {
      if (std::string(componentPin.first) != c.szUrlKey) continue;
      pinned.push_back({observer.LineOf(std::string(c.szSection) + "/" + c.szUrlKey), c.szUrlKey, (doc.*c.url)(),
                        (doc.*componentPin.second)(), false});
    }
  }
  for (const PackageComponent& c : kPackageComponents) {
    if (!c.szUrlKey) continue;
    for (const DeltaOffer& offer : doc.GetDeltas(c.szUrlKey)) {
      const std::string key = std::string(c.szUrlKey) + "_DELTA" + std::to_string(offer.m_nNumber);
      if (!offer.m_strUrl.empty())
        pinned.push_back({observer.LineOf(std::string(c.szSection) + "/" + key), key, offer.m_strUrl, offer.m_Pin, false});
    }
  }
  for (size_t i = 0; i < doc.m_arrEtcProject.size(); ++i) {
    const EtcProject& etc = *doc.m_arrEtcProject[i];
    if (!etc.m_strDownloadUrl.empty())
      pinned.push_back({observer.EtcUrlLine(i), "[ETC" + std::to_string(i) + "] PRO_DOWN_URL", etc.m_strDownloadUrl,
                        etc.m_DownloadPin, false});
  }
  if (!doc.GetNoticeUrl().empty())
    pinned.push_back({observer.LineOf("NOTICE/NOTICE_URL"), "NOTICE_URL", doc.GetNoticeUrl(), doc.GetNoticePin(), true});

  for (const Pinned& p : pinned) {
    const std::string refused = p.bNotice ? "updaters with a release key do not show the notice"
                                          : "updaters with a release key refuse the package";
    const std::string key = p.strKey.substr(p.strKey.rfind(' ') + 1);
    uint64_t size = 0;
    crypto::Sha256Digest digest;
    if (p.pin.IsEmpty()) {
      findings.push_back({p.nLine, "pin-missing", p.strKey + " has no pin: " + refused + "; write " + key +
                                                      "_SIZE= and " + key + "_SHA256= beside it (talvo-publish "
                                                      "--sign-key does)"});
      continue;
    }
    if (!p.pin.Read(size, digest)) {
      findings.push_back({p.nLine, "pin-malformed", p.strKey + ": the pin " + Quoted(p.pin.m_strSize) + ", " +
                                                        Quoted(p.pin.m_strSha256) + " is no byte count and 64 "
                                                        "lower-case hex digits: " + refused});
      continue;
    }
    if (options.strReleaseDir.empty() || options.pFileDigest == nullptr) continue;
    const std::string relative = ServedPath(p.strUrl);
    if (relative.empty()) continue;  // reported as a bad address already
    std::string gotSha;
    unsigned long long gotSize = 0;
    if (!options.pFileDigest(options.strReleaseDir + "/" + relative, gotSha, gotSize)) continue;  // missing: told
    if (gotSize != size || gotSha != p.pin.m_strSha256) {
      findings.push_back({p.nLine, "package-pin", p.strKey + ": " + Quoted(relative) + " has " +
                                                      std::to_string(gotSize) + " bytes and SHA-256 " + gotSha +
                                                      ", the document pins " + p.pin.m_strSize + " and " +
                                                      p.pin.m_strSha256 + ": " + refused});
    }
  }
}

// Delta packages: each complete (address, the release it starts from, its files), from a release
// other than the one offered and from no release twice, every file line well formed and naming
// each file once. An updater takes a delta only when every listed file is installed as listed, and
// falls back to the full package otherwise, so a wrong delta costs a download, never an install.
void CheckDeltas(const CProjectData& doc, const LintObserver& observer, std::vector<LintFinding>& findings) {
  for (const PackageComponent& c : kPackageComponents) {
    if (!c.szUrlKey) continue;
    std::map<std::string, std::string> fromSeen;  // from-version -> key
    for (const DeltaOffer& offer : doc.GetDeltas(c.szUrlKey)) {
      const std::string key = std::string(c.szUrlKey) + "_DELTA" + std::to_string(offer.m_nNumber);
      const std::string prefix = std::string(c.szSection) + "/" + key;
      int line = observer.LineOf(prefix);
      for (const char* field : {"_FROM", "_FILE", "_SIZE", "_SHA256"})
        if (line == 0) line = observer.LineOf(prefix + field);
      const auto report = [&](const char* id, const std::string& text) {
        findings.push_back({line, id, key + ": " + text + "; updaters take the full package instead"});
      };
      if ((doc.*c.url)().empty()) {
        report("delta-incomplete", "there is no " + std::string(c.szUrlKey) + " to fall back to");
        continue;
      }
      if (offer.m_strUrl.empty() || offer.m_strFrom.empty() || offer.m_saFiles.empty()) {
        report("delta-incomplete", "a delta needs " + key + "=, " + key + "_FROM= and at least one " + key + "_FILE=");
        continue;
      }
      if (offer.m_strFrom == (doc.*c.version)()) {
        report("delta-from-current", "it starts from " + Quoted(offer.m_strFrom) + ", the release offered itself");
      }
      const auto seen = fromSeen.emplace(offer.m_strFrom, key);
      if (!seen.second) {
        report("delta-duplicate", "it starts from " + Quoted(offer.m_strFrom) + " like " + seen.first->second +
                                      ", whose files are tried first");
      }
      std::set<std::string> names;
      for (const std::string& value : offer.m_saFiles) {
        DeltaFile file;
        if (!ParseDeltaFile(value, file)) {
          report("delta-file", Quoted(value) + " is not FOLDER,NAME,SHA-256 BEFORE (empty for a new file),"
                               "SHA-256 AFTER with 64 lower-case hex digits each");
          continue;
        }
        if (!IsSafeFileName(file.m_strName)) {
          report("delta-file", Quoted(file.m_strName) + " is no name a package may stage");
        } else if (!names.insert(WindowsNameKey(file.m_strName)).second) {
          report("delta-file", Quoted(file.m_strName) + " is listed twice");
        }
      }
    }
  }
}

namespace fs = std::filesystem;

// A folder of its own for the files a check makes, removed with them.
class ScratchFolder {
 public:
  ScratchFolder() {
    std::random_device random;
    const fs::path base = fs::temp_directory_path();
    for (int attempt = 0; attempt < 100 && m_path.empty(); ++attempt) {
      const fs::path candidate = base / ("talvo-doc-" + std::to_string(random()) + std::to_string(random()));
      std::error_code ec;
      if (fs::create_directory(candidate, ec)) m_path = candidate;
    }
    if (m_path.empty()) throw std::runtime_error("no folder for temporary files in " + base.string());
  }
  ~ScratchFolder() {
    std::error_code ignored;
    fs::remove_all(m_path, ignored);
  }
  ScratchFolder(const ScratchFolder&) = delete;
  ScratchFolder& operator=(const ScratchFolder&) = delete;
  std::string Path(const std::string& name) const { return (m_path / name).string(); }

 private:
  fs::path m_path;
};

// Every delta served is applied, as the updater applies it, to the archived files of the release it
// starts from, and each result must have the SHA-256 its FILE line gives: a delta that cannot
// reach the new files costs every user a download for nothing, and a damaged archived file must
// not silently become the reference of the next deltas.
void CheckDeltaResults(const CProjectData& doc, const LintObserver& observer, const LintOptions& options,
                       std::vector<LintFinding>& findings) {
  const ReleaseArchive archive(options.strArchiveDir);
  std::unique_ptr<ScratchFolder> scratch;
  int made = 0;
  for (const PackageComponent& c : kPackageComponents) {
    if (!c.szUrlKey) continue;
    for (const DeltaOffer& offer : doc.GetDeltas(c.szUrlKey)) {
      std::vector<DeltaFile> files;
      const std::string relative = ServedPath(offer.m_strUrl);
      if (offer.m_strFrom.empty() || relative.empty() || !offer.ReadFiles(files)) continue;  // told already
      const std::string key = std::string(c.szUrlKey) + "_DELTA" + std::to_string(offer.m_nNumber);
      int line = observer.LineOf(std::string(c.szSection) + "/" + key);
      const auto report = [&](const char* id, const std::string& text) {
        findings.push_back({line, id, key + ": " + text + "; serve no such delta (talvo-publish makes them from the "
                                                          "archive: mend or remove that release's folder there, or "
                                                          "give --deltas 0)"});
      };
      ArchivedRelease from;
      if (!archive.Find(c.szUrlKey, offer.m_strFrom, from)) {
        report("delta-archive", "release " + Quoted(offer.m_strFrom) + " is not in the release archive " +
                                    Quoted(options.strArchiveDir) + ", so the delta cannot be proven");
        continue;
      }
      CZipFile zip;
      if (!zip.Open(options.strReleaseDir + "/" + relative)) {
        report("delta-apply", "the delta package " + Quoted(relative) + " cannot be opened (" +
                                  DescribeZipFailure(zip.GetLastFailure()) + ")");
        continue;
      }
      for (const DeltaFile& file : files) {
        const std::string name = Quoted(file.m_strName);
        const ArchivedFile* archived = file.m_strSha256Before.empty() ? nullptr : from.Find(file.m_strName);
        if (!file.m_strSha256Before.empty()) {
          if (!archived || archived->strSha256 != file.m_strSha256Before) {
            report("delta-archive", name + " is not in release " + Quoted(offer.m_strFrom) + " as archived with the "
                                        "SHA-256 the delta starts from");
            continue;
          }
          std::string sha;
          unsigned long long size = 0;
          if (!options.pFileDigest(from.PathOf(*archived), sha, size) || sha != archived->strSha256) {
            report("delta-source", name + " of release " + Quoted(offer.m_strFrom) + " is damaged in the archive (" +
                                       from.PathOf(*archived) + " no longer has the SHA-256 it was archived with)");
            continue;
          }
        }
        if (!file.IsChanged()) continue;  // the installed file is staged as it is
        CZipEntry* entry = nullptr;
        for (int i = 0; i < zip.GetCount() && !entry; ++i)
          if (zip.GetEntry(i)->m_strName == file.m_strName) entry = zip.GetEntry(i);
        if (!entry) {
          report("delta-apply", "the delta package " + Quoted(relative) + " holds no entry " + name);
          continue;
        }
        if (!scratch) scratch = std::make_unique<ScratchFolder>();
        const std::string patch = scratch->Path(std::to_string(++made) + ".zst");
        const std::string result = scratch->Path(std::to_string(made) + ".out");
        std::string sha;
        unsigned long long size = 0;
        if (!entry->ExtractTo(patch)) {
          report("delta-apply", "the entry " + name + " of " + Quoted(relative) + " does not unpack");
          continue;
        }
        const zstdpatch::PatchResult patched = zstdpatch::ApplyPatchFile(
            archived ? from.PathOf(*archived) : std::string(), patch, result, zstdpatch::kAnnouncedSize, nullptr);
        if (patched != zstdpatch::PatchResult::kApplied) {
          report("delta-apply", name + " does not apply to release " + Quoted(offer.m_strFrom) + " (" +
                                    zstdpatch::PatchResultName(patched) + ")");
        } else if (!options.pFileDigest(result, sha, size) || sha != file.m_strSha256After) {
          report("delta-apply", name + " patched from release " + Quoted(offer.m_strFrom) + " has SHA-256 " + sha +
                                    ", not " + file.m_strSha256After);
        }
        std::error_code ignored;
        fs::remove(patch, ignored);
        fs::remove(result, ignored);
      }
    }
  }
}

std::vector<LintFinding> LintOrThrow(const std::string& text, const LintOptions& options);

}  // namespace

namespace {

// Key changes are applied strictly in order from the first: a document that drops one, or numbers
// them otherwise, is refused by every updater that has not applied them all yet.
void CheckKeyChanges(const std::string& text, std::vector<LintFinding>& findings) {
  const SignedDocument signedDoc = SplitSignedDocument(text);
  const std::string_view covered = signedDoc.state == SignatureState::kSigned ? signedDoc.covered : text;
  const KeyChanges changes = ReadKeyChanges(covered);
  if (!changes.bWellFormed) {
    findings.push_back({0, "key-change", changes.strProblem + ": updaters with a release key refuse the document"});
  } else if (!changes.changes.empty() && changes.changes.front().number != 1) {
    findings.push_back({0, "key-change", "the first key change is " + std::to_string(changes.changes.front().number) +
                                         ", not 1: an installation that has not applied the ones before refuses the "
                                         "document; keep every key change made, from 1 on"});
  }
}

}  // namespace

std::vector<LintFinding> LintDocument(const std::string& text, const LintOptions& options) {
  try {
    return LintOrThrow(text, options);
  } catch (const std::exception& e) {
    // Out of memory, or a release folder the system cannot walk: the check is incomplete.
    return {{0, "lint-failed", std::string("the check stopped (") + e.what() + "); nothing is known to be clean"}};
  }
}

namespace {

std::vector<LintFinding> LintOrThrow(const std::string& text, const LintOptions& options) {
  OfflineParse offline;
  ParsedDocument parsed;
  LintObserver observer(text, parsed.catalogue);
  parsed.catalogue.m_pObserver = &observer;
  const int hasDownload = parsed.catalogue.Parse(text);
  parsed.catalogue.m_pObserver = nullptr;
  observer.Finish(hasDownload);

  std::vector<LintFinding> findings = std::move(observer.m_findings);
  CheckDeltas(parsed.catalogue, observer, findings);
  if (options.pOldDocument) CheckAgainst(parsed.catalogue, observer, *options.pOldDocument, findings);
  if (!options.strReleaseDir.empty()) CheckRelease(parsed.catalogue, observer, options.strReleaseDir, findings);
  if (options.bSigned) CheckPins(parsed.catalogue, observer, options, findings);
  CheckKeyChanges(text, findings);
  if (!options.strReleaseDir.empty() && !options.strArchiveDir.empty() && options.pFileDigest)
    CheckDeltaResults(parsed.catalogue, observer, options, findings);
  std::stable_sort(findings.begin(), findings.end(), [](const LintFinding& a, const LintFinding& b) {
    return (a.nLine == 0 ? INT32_MAX : a.nLine) < (b.nLine == 0 ? INT32_MAX : b.nLine);
  });
  return findings;
}

}  // namespace

std::string FormatFinding(const std::string& file, const LintFinding& finding) {
  std::string line = file + ":";
  if (finding.nLine > 0) line += std::to_string(finding.nLine) + ":";
  return line + " [" + finding.strId + "] " + finding.strText;
}
