#include "catalogue/projectdata.h"

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
        StoreProductKey(upperKey, RemoveQuotes(value()));
        return;
      case SECTION_POLICE_DATA:
        StorePoliceDataKey(upperKey, RemoveQuotes(value()));
        return;
      case SECTION_SERVER_LIST:
        StoreServerListKey(upperKey, RemoveQuotes(value()));
        return;
      case SECTION_LOGIN_OCX:
        StoreLoginOcxKey(upperKey, RemoveQuotes(value()));
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

void CProjectData::StoreProductKey(const std::string& key, const std::string& value) {
  ProjectInfo& info = m_ProjectInfo;
  if (key == "DEBUG") {
    info.m_nDebug = value == "1" ? 1 : 0;
  } else if (key == "DEADLINE") {
    info.m_strDeadline = value;
  } else if (key == "PROJECT") {
    info.m_strProject = value;
  } else if (key == "XP_VERSION") {
    info.m_strXPVersion = value;
  } else if (key == "XP_DOWNLOADURL") {
    info.m_strXPDownloadUrl = value;
    m_bHasDownload = 1;
  } else if (key == "XP_COMPULSION") {
    info.m_strXPCompulsion = value;
  } else if (key == "98_VERSION") {
    info.m_str98Version = value;
  } else if (key == "98_DOWNLOADURL") {
    info.m_str98DownloadUrl = value;
    m_bHasDownload = 1;
  } else if (key == "98_COMPULSION") {
    info.m_str98Compulsion = value;
  }
}

void CProjectData::StorePoliceDataKey(const std::string& key, const std::string& value) {
  if (key == "DAT_VERSION") {
    m_ProjectInfo.m_strDatVersion = value;
  } else if (key == "DOWN_DAT_URL") {
    m_ProjectInfo.m_strDatDownloadUrl = value;
    m_bHasDownload = 1;
  } else if (key == "DAT_COMPULSION") {
    m_ProjectInfo.m_strDatCompulsion = value;
  }
}

void CProjectData::StoreServerListKey(const std::string& key, const std::string& value) {
  if (key == "SERVER_VERSION") {
    m_ProjectInfo.m_strServerVersion = value;
  } else if (key == "SERVER_DOWN_URL") {
    m_ProjectInfo.m_strServerDownloadUrl = value;
    m_bHasDownload = 1;
  } else if (key == "SERVER_COMPULSION") {
    m_ProjectInfo.m_strServerCompulsion = value;
  }
}

void CProjectData::StoreLoginOcxKey(const std::string& key, const std::string& value) {
  if (key == "OCX_VERSION") {
    m_ProjectInfo.m_strOcxVersion = value;
  } else if (key == "OCX_DOWN_URL") {
    m_ProjectInfo.m_strOcxDownloadUrl = value;
    m_bHasDownload = 1;
  } else if (key == "OCX_COMPULSION") {
    m_ProjectInfo.m_strOcxCompulsion = value;
  }
}

void CProjectData::StoreEtcKey(const std::string& key, const std::string& value) {
  EtcProject& project = m_CurEtcProject;
  if (key == "NAME") {
    project.m_strName = value;
  } else if (key == "PRO_DOWN_URL") {
    // An extra project alone is no reason to open the update window.
    project.m_strDownloadUrl = value;
  } else if (key == "PRO_EXE") {
    project.m_strExe = value;
  } else if (key == "PRO_PATH") {
    project.m_strPath = value;
  } else if (key == "PRO_REG") {
    project.m_strReg = value;
  } else if (key == "PRO_COMPULSION") {
    project.m_strCompulsion = value;
  } else if (key == "ETC_END") {
    CommitEtcProject();
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
  EtcProject* project = new EtcProject;
  project->m_strName = m_CurEtcProject.m_strName;
  project->m_strDownloadUrl = m_CurEtcProject.m_strDownloadUrl;
  project->m_strExe = m_CurEtcProject.m_strExe;
  project->m_strPath = m_CurEtcProject.m_strPath;
  project->m_strReg = m_CurEtcProject.m_strReg;
  project->m_strCompulsion = m_CurEtcProject.m_strCompulsion;
  m_arrEtcProject.push_back(project);
  m_CurEtcProject.m_strName.clear();
  m_CurEtcProject.m_strDownloadUrl.clear();
  m_CurEtcProject.m_strExe.clear();
  m_CurEtcProject.m_strPath.clear();
  m_CurEtcProject.m_strReg.clear();
  m_CurEtcProject.m_strCompulsion.clear();
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
