#include "catalogue/projectdata.h"

#include <algorithm>
#include <cstring>
#include <iterator>
#include <memory>
#include <string_view>
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
  size_t lineStart = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    // A line feed only ends a line of two or more bytes, so a blank CR LF line joins the next one.
    if (c == '\n' && line.size() > 1) {
      if (line.compare(0, 5, "<meta") == 0) {
        if (m_pObserver) m_pObserver->OnStop(lineStart, line);
        return m_bHasDownload;
      }
      if (m_pObserver) m_pObserver->OnLine(lineStart, line);
      ParseLine(line);
      line.clear();
      lineStart = i + 1;
    } else {
      line += c;
    }
  }
  if (m_pObserver) m_pObserver->OnLine(lineStart, line);
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
        if (m_pObserver) m_pObserver->OnSection(key, m_nSection);
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
    // A view, not a copy: an observer must not make a line of many "=" cost a copy per "=".
    const auto observeKey = [&](int section, std::string_view stored, CParseObserver::KeyUse use) {
      if (!m_pObserver) return;
      if (use == CParseObserver::KEY_STORED || use == CParseObserver::KEY_COMMITTED) {
        m_pObserver->OnKey(section, upperKey, stored, use);
      } else {
        const size_t start = std::min(i + 1, valueEnd);
        m_pObserver->OnKey(section, upperKey, std::string_view(line).substr(start, valueEnd - start), use);
      }
    };
    const int section = m_nSection;
    if (section == SECTION_ETC_BASE + m_nEtcCount) {
      const std::string stored = RemoveQuotes(value());
      const bool known = StoreEtcKey(upperKey, stored);
      observeKey(section, stored,
                 !known ? CParseObserver::KEY_UNKNOWN
                        : upperKey == "ETC_END" ? CParseObserver::KEY_COMMITTED
                                                : CParseObserver::KEY_STORED);
      return;
    }
    switch (section) {
      case SECTION_PRODUCT:
      case SECTION_POLICE_DATA:
      case SECTION_SERVER_LIST:
      case SECTION_LOGIN_OCX: {
        const std::string stored = RemoveQuotes(value());
        const bool known = StoreComponentKey(section, upperKey, stored);
        observeKey(section, stored, known ? CParseObserver::KEY_STORED : CParseObserver::KEY_UNKNOWN);
        return;
      }
      case SECTION_FOLDER:
      case SECTION_FILES:
      case SECTION_REGISTRY:
        StoreJobLine(line);
        return;
      case SECTION_NOTICE:
        if (upperKey == "NOTICE_URL") {
          m_ProjectInfo.m_strNoticeUrl = value();
          observeKey(section, m_ProjectInfo.m_strNoticeUrl, CParseObserver::KEY_STORED);
          FetchNotice();
        } else {
          const std::string stored = RemoveQuotes(value());
          const bool pin = StorePinKey(section, upperKey, stored);
          observeKey(section, pin ? stored : std::string(), pin ? CParseObserver::KEY_STORED : CParseObserver::KEY_UNKNOWN);
        }
        return;
      case SECTION_OPTIONS:
        // After the first "=" the key starts with "=" and names nothing, so no copy is made.
        if (IsOptionsKey(upperKey)) {
          StoreOptionsKey(upperKey, value());
          if (m_pObserver) {
            observeKey(section,
                       upperKey == "OPTIONS_SETTING" ? m_ProjectInfo.m_saOptionSettings.back()
                       : upperKey == "OPTIONS_VERSION" ? m_ProjectInfo.m_strOptionsVersion
                                                       : m_ProjectInfo.m_strOptionCompulsion,
                       CParseObserver::KEY_STORED);
          }
        } else {
          observeKey(section, {}, CParseObserver::KEY_UNKNOWN);
        }
        break;
      default:
        observeKey(section, {}, CParseObserver::KEY_IGNORED);
        break;
    }
    // The rest of the line is read on, with "=" starting the next key.
    key = "=";
  }
}

const std::vector<std::pair<std::string, int>>& CProjectData::FixedSectionNames() {
  static const std::vector<std::pair<std::string, int>> kNames = {
      {"Talvo", SECTION_PRODUCT},     {"POLICE_DATA", SECTION_POLICE_DATA},
      {"UPDATE_DATA", SECTION_UPDATE_DATA}, {"SERVER_LIST", SECTION_SERVER_LIST},
      {"LOGIN_OCX", SECTION_LOGIN_OCX}, {"OPTIONS", SECTION_OPTIONS},
      {"NOTICE", SECTION_NOTICE},     {"FOLDER", SECTION_FOLDER},
      {"FILES", SECTION_FILES},       {"REGISTRY", SECTION_REGISTRY},
      {"END", SECTION_NONE},          {"ETC_END", SECTION_NONE},
  };
  return kNames;
}

int CProjectData::GetSectionCode(const std::string& name) {
  if (name == "ETC" + std::to_string(m_nEtcCount)) return SECTION_ETC_BASE + m_nEtcCount;
  for (const auto& fixed : FixedSectionNames()) {
    if (name == fixed.first) {
      if (fixed.second == SECTION_PRODUCT) m_ProjectInfo.m_strProjectName = name;
      return fixed.second;
    }
  }
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

// The package address keys that take a pin, with their section and the pin they fill.
struct PinKey {
  const char* urlKey;
  int section;
  PackagePin ProjectInfo::*pin;
};

const PinKey kComponentPins[] = {
    {"XP_DOWNLOADURL", CProjectData::SECTION_PRODUCT, &ProjectInfo::m_XPDownloadPin},
    {"98_DOWNLOADURL", CProjectData::SECTION_PRODUCT, &ProjectInfo::m_98DownloadPin},
    {"DOWN_DAT_URL", CProjectData::SECTION_POLICE_DATA, &ProjectInfo::m_DatDownloadPin},
    {"SERVER_DOWN_URL", CProjectData::SECTION_SERVER_LIST, &ProjectInfo::m_ServerDownloadPin},
    {"OCX_DOWN_URL", CProjectData::SECTION_LOGIN_OCX, &ProjectInfo::m_OcxDownloadPin},
    {"NOTICE_URL", CProjectData::SECTION_NOTICE, &ProjectInfo::m_NoticePin},
};
const char kEtcPinUrlKey[] = "PRO_DOWN_URL";

// "<URLKEY>_SIZE" or "<URLKEY>_SHA256": the address key named and the text of the pin it fills.
bool SplitPinKey(const std::string& key, std::string& urlKey, std::string PackagePin::*& field) {
  const std::pair<const char*, std::string PackagePin::*> suffixes[] = {
      {kPinSizeSuffix, &PackagePin::m_strSize}, {kPinSha256Suffix, &PackagePin::m_strSha256}};
  for (const auto& suffix : suffixes) {
    const size_t length = std::strlen(suffix.first);
    if (key.size() > length && key.compare(key.size() - length, length, suffix.first) == 0) {
      urlKey = key.substr(0, key.size() - length);
      field = suffix.second;
      return true;
    }
  }
  return false;
}

}  // namespace

bool CProjectData::StorePinKey(int section, const std::string& key, const std::string& value) {
  std::string urlKey;
  std::string PackagePin::*field = nullptr;
  if (!SplitPinKey(key, urlKey, field)) return false;
  if (section == SECTION_ETC_BASE + m_nEtcCount) {
    if (urlKey != kEtcPinUrlKey) return false;
    m_CurEtcProject.m_DownloadPin.*field = value;
    return true;
  }
  for (const PinKey& pinKey : kComponentPins) {
    if (pinKey.section == section && urlKey == pinKey.urlKey) {
      (m_ProjectInfo.*(pinKey.pin)).*field = value;
      return true;
    }
  }
  return false;
}

bool CProjectData::StoreComponentKey(int section, const std::string& key, const std::string& value) {
  if (section == SECTION_PRODUCT && key == "DEBUG") {
    m_ProjectInfo.m_nDebug = value == "1" ? 1 : 0;
    return true;
  }
  const TextKey* begin = nullptr;
  const TextKey* end = nullptr;
  switch (section) {
    case SECTION_PRODUCT: begin = std::begin(kProductKeys); end = std::end(kProductKeys); break;
    case SECTION_POLICE_DATA: begin = std::begin(kPoliceDataKeys); end = std::end(kPoliceDataKeys); break;
    case SECTION_SERVER_LIST: begin = std::begin(kServerListKeys); end = std::end(kServerListKeys); break;
    case SECTION_LOGIN_OCX: begin = std::begin(kLoginOcxKeys); end = std::end(kLoginOcxKeys); break;
    default: return false;
  }
  for (const TextKey* k = begin; k != end; ++k) {
    if (key == k->name) {
      m_ProjectInfo.*(k->field) = value;
      if (k->isDownloadUrl) m_bHasDownload = 1;
      return true;
    }
  }
  if (StoreDeltaKey(section, key, value)) return true;
  return StorePinKey(section, key, value);
}

bool CProjectData::StoreDeltaKey(int section, const std::string& key, const std::string& value) {
  std::string urlKey;
  unsigned number = 0;
  DeltaField field;
  if (!SplitDeltaKey(key, urlKey, number, field)) return false;
  bool known = false;
  for (const PinKey& pinKey : kComponentPins)
    known = known || (pinKey.section == section && urlKey == pinKey.urlKey && section != SECTION_NOTICE);
  if (!known) return false;
  DeltaOffer& offer = m_ProjectInfo.m_Deltas[urlKey][number];
  offer.m_nNumber = number;
  switch (field) {
    case DeltaField::kUrl: offer.m_strUrl = value; break;
    case DeltaField::kFrom: offer.m_strFrom = value; break;
    case DeltaField::kSize: offer.m_Pin.m_strSize = value; break;
    case DeltaField::kSha256: offer.m_Pin.m_strSha256 = value; break;
    case DeltaField::kFile: offer.m_saFiles.push_back(value); break;
  }
  return true;
}

std::vector<DeltaOffer> CProjectData::GetDeltas(const std::string& urlKey) const {
  std::vector<DeltaOffer> offers;
  const auto found = m_ProjectInfo.m_Deltas.find(urlKey);
  if (found == m_ProjectInfo.m_Deltas.end()) return offers;
  for (const auto& numbered : found->second) offers.push_back(numbered.second);
  return offers;
}

std::vector<DeltaOffer> CProjectData::DeltasBeside(const std::string& packageUrl) const {
  if (packageUrl.empty()) return {};
  const std::pair<const char*, std::string (CProjectData::*)() const> addresses[] = {
      {"XP_DOWNLOADURL", &CProjectData::GetXPDownloadUrl}, {"98_DOWNLOADURL", &CProjectData::Get98DownloadUrl},
      {"DOWN_DAT_URL", &CProjectData::GetDatDownloadUrl},  {"SERVER_DOWN_URL", &CProjectData::GetServerDownloadUrl},
      {"OCX_DOWN_URL", &CProjectData::GetOcxDownloadUrl},
  };
  for (const auto& address : addresses)
    if ((this->*address.second)() == packageUrl) return GetDeltas(address.first);
  return {};
}

bool CProjectData::StoreEtcKey(const std::string& key, const std::string& value) {
  if (key == "ETC_END") {
    CommitEtcProject();
    return true;
  }
  for (const auto& etcKey : kEtcKeys) {
    if (key == etcKey.first) {
      m_CurEtcProject.*(etcKey.second) = value;
      return true;
    }
  }
  return StorePinKey(SECTION_ETC_BASE + m_nEtcCount, key, value);
}

int CProjectData::SectionOfKey(const std::string& key) {
  const std::pair<const TextKey*, const TextKey*> tables[] = {
      {std::begin(kProductKeys), std::end(kProductKeys)},
      {std::begin(kPoliceDataKeys), std::end(kPoliceDataKeys)},
      {std::begin(kServerListKeys), std::end(kServerListKeys)},
      {std::begin(kLoginOcxKeys), std::end(kLoginOcxKeys)},
  };
  const int sections[] = {SECTION_PRODUCT, SECTION_POLICE_DATA, SECTION_SERVER_LIST, SECTION_LOGIN_OCX};
  if (key == "DEBUG") return SECTION_PRODUCT;
  for (size_t t = 0; t < std::size(tables); ++t) {
    for (const TextKey* k = tables[t].first; k != tables[t].second; ++k)
      if (key == k->name) return sections[t];
  }
  for (const auto& etcKey : kEtcKeys)
    if (key == etcKey.first) return SECTION_ETC_BASE;
  if (key == "ETC_END") return SECTION_ETC_BASE;
  if (IsOptionsKey(key)) return SECTION_OPTIONS;
  if (key == "NOTICE_URL") return SECTION_NOTICE;
  std::string urlKey;
  unsigned deltaNumber = 0;
  DeltaField deltaField;
  if (SplitDeltaKey(key, urlKey, deltaNumber, deltaField)) {
    for (const PinKey& pinKey : kComponentPins)
      if (urlKey == pinKey.urlKey && pinKey.section != SECTION_NOTICE) return pinKey.section;
  }
  std::string PackagePin::*field = nullptr;
  if (SplitPinKey(key, urlKey, field)) {
    if (urlKey == kEtcPinUrlKey) return SECTION_ETC_BASE;
    for (const PinKey& pinKey : kComponentPins)
      if (urlKey == pinKey.urlKey) return pinKey.section;
  }
  return SECTION_UNKNOWN;
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
  if (m_pObserver) m_pObserver->OnJobLine(m_nSection, list->back());
}

void CProjectData::CommitEtcProject() {
  m_arrEtcProject.push_back(std::make_unique<EtcProject>(m_CurEtcProject));
  m_CurEtcProject = EtcProject();
  ++m_nEtcCount;
}

void CProjectData::FetchNotice() {
  const std::string text = FetchText(m_ProjectInfo.m_strNoticeUrl, kNoticeTimeoutMs);
  m_ProjectInfo.m_strNoticeBody = text;
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
