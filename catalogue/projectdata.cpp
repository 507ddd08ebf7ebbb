#include "catalogue/projectdata.h"

#include <iterator>
#include <memory>
#include <utility>

#include "catalogue/noticefetch.h"
#include "talvobuildconfig.h"

namespace {

const unsigned long kNoticeTimeoutMs = 10000;
const char kLogPageUrl[] = "http://" TALVO_WEB_HOST "/app/update_windowlog.asp";

bool IsTrimmedSpace(char c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f';
}

std::string TrimWhiteSpace(const std::string& text) {
  size_t first = 0;
  size_t last = text.size();
  while (first < last && IsTrimmedSpace(text[first])) ++first;
  while (last > first && IsTrimmedSpace(text[last - 1])) --last;
  return text.substr(first, last - first);
}

// ASCII letters only, whatever the locale: keys are matched against ASCII names, and bytes of
// code page 949 characters (>= 0x80, negative as char) must never reach toupper.
std::string ToUpperAscii(std::string text) {
  for (char& c : text) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  return text;
}

std::string RemoveQuotes(std::string text) {
  std::string::size_type out = 0;
  for (char c : text) {
    if (c != '"') text[out++] = c;
  }
  text.resize(out);
  return text;
}

// The first ";" outside double quotes, or the end of the line. Quotes are counted from the start
// of the line, key included.
size_t FindValueEnd(const std::string& line) {
  bool insideQuotes = false;
  for (size_t i = 0; i < line.size(); ++i) {
    if (line[i] == '"') {
      insideQuotes = !insideQuotes;
    } else if (line[i] == ';' && !insideQuotes) {
      return i;
    }
  }
  return line.size();
}

bool IsOptionsKey(const std::string& key) {
  return key == "OPTIONS_VERSION" || key == "OPTIONS_SETTING" || key == "OPTION_COMPULSION";
}

std::string CommandWord(const std::string& jobLine) {
  return jobLine.substr(0, jobLine.find('='));
}

}  // namespace

int CProjectData::Parse(const std::string& text) {
  m_nSection = SECTION_NONE;
  std::string line;
  for (char c : text) {
    // A line feed only ends a line of two or more bytes, so a blank CR LF line joins the next one.
    if (c == '\n' && line.size() > 1) {
      if (line.compare(0, 5, "<meta") == 0) return m_bHasDownload;
      ParseLine(line);
      line.clear();
    } else {
      line += c;
    }
  }
  ParseLine(line);
  return m_bHasDownload;
}

void CProjectData::ParseLine(const std::string& rawLine) {
  const std::string line = TrimWhiteSpace(rawLine);
  // Where every value of this line ends does not depend on where the value starts, so it is
  // found once: a line of many "=" must not cost a scan per "=".
  size_t valueEnd = std::string::npos;
  std::string key;
  for (size_t i = 0; i < line.size(); ++i) {
    const char c = line[i];
    if (c == '[') {
      m_nSection = SECTION_OPEN_BRACKET;
      continue;
    }
    if (c == ']') {
      if (m_nSection == SECTION_OPEN_BRACKET) {
        m_nSection = GetSectionCode(key);
        key.clear();
      } else {
        key += c;
      }
      continue;
    }
    if (c == '/' && i + 1 < line.size() && line[i + 1] == '/') return;
    if (c != '=') {
      key += c;
      continue;
    }

    const std::string upperKey = ToUpperAscii(key);
    if (valueEnd == std::string::npos) valueEnd = FindValueEnd(line);
    const auto value = [&] {
      return i + 1 < valueEnd ? line.substr(i + 1, valueEnd - (i + 1)) : std::string();
    };
    if (m_nSection == SECTION_ETC_BASE + m_nEtcCount) {
      StoreEtcKey(upperKey, RemoveQuotes(value()));
      return;
    }
    switch (m_nSection) {
      case SECTION_PRODUCT:
      case SECTION_POLICE_DATA:
      case SECTION_SERVER_LIST:
      case SECTION_LOGIN_OCX:
        StoreComponentKey(m_nSection, upperKey, RemoveQuotes(value()));
        return;
      case SECTION_FOLDER:
      case SECTION_FILES:
      case SECTION_REGISTRY:
        StoreJobLine(line);
        return;
      case SECTION_NOTICE:
        if (upperKey == "NOTICE_URL") {
          m_ProjectInfo.m_strNoticeUrl = value();
          FetchNotice();
        }
        return;
      case SECTION_OPTIONS:
        // After the first "=" the key starts with "=" and names nothing, so no copy is made.
        if (IsOptionsKey(upperKey)) StoreOptionsKey(upperKey, value());
        break;
      default:
        break;
    }
    // The rest of the line is read on, with "=" starting the next key.
    key = "=";
  }
}

int CProjectData::GetSectionCode(const std::string& name) {
  if (name == "Talvo") {
    m_ProjectInfo.m_strProjectName = name;
    return SECTION_PRODUCT;
  }
  if (name == "POLICE_DATA") return SECTION_POLICE_DATA;
  if (name == "UPDATE_DATA") return SECTION_UPDATE_DATA;
  if (name == "SERVER_LIST") return SECTION_SERVER_LIST;
  if (name == "LOGIN_OCX") return SECTION_LOGIN_OCX;
  if (name == "OPTIONS") return SECTION_OPTIONS;
  if (name == "NOTICE") return SECTION_NOTICE;
  if (name == "FOLDER") return SECTION_FOLDER;
  if (name == "FILES") return SECTION_FILES;
  if (name == "REGISTRY") return SECTION_REGISTRY;
  if (name == "ETC" + std::to_string(m_nEtcCount)) return SECTION_ETC_BASE + m_nEtcCount;
  if (name == "END" || name == "ETC_END") return SECTION_NONE;
  return SECTION_UNKNOWN;
}

std::string CProjectData::GetValue(const std::string& line, size_t start) const {
  const size_t end = FindValueEnd(line);
  if (end <= start) return std::string();
  return line.substr(start, end - start);
}

namespace {

// A key of a component section, the text field it fills and whether it names a package address.
struct TextKey {
  const char* name;
  std::string ProjectInfo::*field;
  bool isDownloadUrl;
};

const TextKey kProductKeys[] = {
    {"DEADLINE", &ProjectInfo::m_strDeadline, false},
    {"PROJECT", &ProjectInfo::m_strProject, false},
    {"XP_VERSION", &ProjectInfo::m_strXPVersion, false},
    {"XP_DOWNLOADURL", &ProjectInfo::m_strXPDownloadUrl, true},
    {"XP_COMPULSION", &ProjectInfo::m_strXPCompulsion, false},
    {"98_VERSION", &ProjectInfo::m_str98Version, false},
    {"98_DOWNLOADURL", &ProjectInfo::m_str98DownloadUrl, true},
    {"98_COMPULSION", &ProjectInfo::m_str98Compulsion, false},
};
const TextKey kPoliceDataKeys[] = {
    {"DAT_VERSION", &ProjectInfo::m_strDatVersion, false},
    {"DOWN_DAT_URL", &ProjectInfo::m_strDatDownloadUrl, true},
    {"DAT_COMPULSION", &ProjectInfo::m_strDatCompulsion, false},
};
const TextKey kServerListKeys[] = {
    {"SERVER_VERSION", &ProjectInfo::m_strServerVersion, false},
    {"SERVER_DOWN_URL", &ProjectInfo::m_strServerDownloadUrl, true},
    {"SERVER_COMPULSION", &ProjectInfo::m_strServerCompulsion, false},
};
const TextKey kLoginOcxKeys[] = {
    {"OCX_VERSION", &ProjectInfo::m_strOcxVersion, false},
    {"OCX_DOWN_URL", &ProjectInfo::m_strOcxDownloadUrl, true},
    {"OCX_COMPULSION", &ProjectInfo::m_strOcxCompulsion, false},
};

// An extra project's package address alone is no reason to open the update window, so none of
// these marks a download.
const std::pair<const char*, std::string EtcProject::*> kEtcKeys[] = {
    {"NAME", &EtcProject::m_strName},         {"PRO_DOWN_URL", &EtcProject::m_strDownloadUrl},
    {"PRO_EXE", &EtcProject::m_strExe},       {"PRO_PATH", &EtcProject::m_strPath},
    {"PRO_REG", &EtcProject::m_strReg},       {"PRO_COMPULSION", &EtcProject::m_strCompulsion},
};

}  // namespace

void CProjectData::StoreComponentKey(int section, const std::string& key, const std::string& value) {
  if (section == SECTION_PRODUCT && key == "DEBUG") {
    m_ProjectInfo.m_nDebug = value == "1" ? 1 : 0;
    return;
  }
  const TextKey* begin = nullptr;
  const TextKey* end = nullptr;
  switch (section) {
    case SECTION_PRODUCT: begin = std::begin(kProductKeys); end = std::end(kProductKeys); break;
    case SECTION_POLICE_DATA: begin = std::begin(kPoliceDataKeys); end = std::end(kPoliceDataKeys); break;
    case SECTION_SERVER_LIST: begin = std::begin(kServerListKeys); end = std::end(kServerListKeys); break;
    case SECTION_LOGIN_OCX: begin = std::begin(kLoginOcxKeys); end = std::end(kLoginOcxKeys); break;
    default: return;
  }
  for (const TextKey* k = begin; k != end; ++k) {
    if (key == k->name) {
      m_ProjectInfo.*(k->field) = value;
      if (k->isDownloadUrl) m_bHasDownload = 1;
      return;
    }
  }
}

void CProjectData::StoreEtcKey(const std::string& key, const std::string& value) {
  if (key == "ETC_END") {
    CommitEtcProject();
    return;
  }
  for (const auto& etcKey : kEtcKeys) {
    if (key == etcKey.first) {
      m_CurEtcProject.*(etcKey.second) = value;
      return;
    }
  }
}

void CProjectData::StoreOptionsKey(const std::string& key, const std::string& value) {
  if (key == "OPTIONS_VERSION") {
    m_ProjectInfo.m_strOptionsVersion = RemoveQuotes(value);
  } else if (key == "OPTIONS_SETTING") {
    // Settings keep their quotes: the option file takes them as written.
    m_ProjectInfo.m_saOptionSettings.push_back(GetValue(value, 0));
  } else if (key == "OPTION_COMPULSION") {
    m_ProjectInfo.m_strOptionCompulsion = RemoveQuotes(value);
  }
}

void CProjectData::StoreJobLine(const std::string& line) {
  std::vector<std::string>* list = JobList(m_nSection);
  if (list == nullptr) return;
  // The comment is cut off while the quotes still protect a ";" inside a path; only then do
  // folder and file jobs lose their quotes.
  const std::string job = GetValue(line, 0);
  list->push_back(m_nSection == SECTION_REGISTRY ? job : RemoveQuotes(job));
}

void CProjectData::CommitEtcProject() {
  m_arrEtcProject.push_back(std::make_unique<EtcProject>(m_CurEtcProject));
  m_CurEtcProject = EtcProject();
  ++m_nEtcCount;
}

void CProjectData::FetchNotice() {
  const std::string text = FetchText(m_ProjectInfo.m_strNoticeUrl, kNoticeTimeoutMs);
  if (!text.empty()) {
    // The notice box wants Windows line ends.
    std::string notice;
    notice.reserve(text.size() + text.size() / 8);
    for (char c : text) {
      if (c == '\n') notice += '\r';
      notice += c;
    }
    m_ProjectInfo.m_strNotice = notice;
  }
  // The maker counts notice views on this page; its answer is of no interest.
  FetchText(kLogPageUrl, kNoticeTimeoutMs);
}

std::vector<std::string>* CProjectData::JobList(int type) {
  switch (type) {
    case JOB_FOLDER: return &m_saFolder;
    case JOB_FILES: return &m_saFiles;
    case JOB_REGISTRY: return &m_saRegistry;
    default: return nullptr;
  }
}

const std::vector<std::string>* CProjectData::JobList(int type) const {
  return const_cast<CProjectData*>(this)->JobList(type);
}

int CProjectData::GetJobCount(int type) const {
  const std::vector<std::string>* list = JobList(type);
  return list == nullptr ? 0 : static_cast<int>(list->size());
}

std::string CProjectData::GetJobLine(int type, int index) const {
  const std::vector<std::string>* list = JobList(type);
  if (list == nullptr || index < 0 || static_cast<size_t>(index) >= list->size()) return std::string();
  const std::string& line = (*list)[static_cast<size_t>(index)];
  if (CommandWord(line) == "DONE") return std::string();
  return line;
}

void CProjectData::MarkJobDone(int type, int index) {
  std::vector<std::string>* list = JobList(type);
  if (list == nullptr || index < 0 || static_cast<size_t>(index) >= list->size()) return;
  std::string& line = (*list)[static_cast<size_t>(index)];
  const std::string::size_type equals = line.find('=');
  line = "DONE" + (equals == std::string::npos ? line : line.substr(equals));
}
