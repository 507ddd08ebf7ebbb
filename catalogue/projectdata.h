// The update information document and the component catalogue read from it.
//
// Texts are code page 949 bytes. The catalogue does not call Windows, so it also builds and is
// tested and fuzzed on the host.
#pragma once

#include <cstddef>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "catalogue/deltaoffer.h"
#include "catalogue/packagepin.h"

// Kinds of the components the update dialog lists (EtcProject::m_nKind).
enum ComponentKind {
  KIND_CLIENT_PROGRAM = 1,
  KIND_FILTER_DATA = 2,
  KIND_SERVER_LIST = 3,
  KIND_LOGIN_CONTROL = 4,
  KIND_OPTION_SETTINGS = 5,
  KIND_EXTRA_PROJECT = 8,
};

// One extra project offered by the server and installed once.
struct EtcProject {
  std::string m_strName;
  std::string m_strDownloadUrl;
  std::string m_strExe;
  std::string m_strPath;
  std::string m_strReg;
  std::string m_strCompulsion;
  int m_nKind = 0;  // set by the dialog when it lists the project, never by the catalogue
  PackagePin m_DownloadPin;  // PRO_DOWN_URL_SIZE, PRO_DOWN_URL_SHA256
};

// The product section and the component sections.
struct ProjectInfo {
  std::string m_strProjectName;
  std::string m_strProject;
  std::string m_strDeadline;
  int m_nDebug = 0;
  std::string m_strXPVersion;
  std::string m_strXPDownloadUrl;
  std::string m_strXPCompulsion;
  std::string m_str98Version;
  std::string m_str98DownloadUrl;
  std::string m_str98Compulsion;
  std::string m_strDatVersion;
  std::string m_strDatDownloadUrl;
  std::string m_strDatCompulsion;
  std::string m_strServerVersion;
  std::string m_strServerDownloadUrl;
  std::string m_strServerCompulsion;
  std::string m_strOcxVersion;
  std::string m_strOcxDownloadUrl;
  std::string m_strOcxCompulsion;
  std::vector<std::string> m_saOptionSettings;
  std::string m_strOptionsVersion;
  std::string m_strOptionCompulsion;
  std::string m_strNoticeUrl;
  std::string m_strNotice;
  std::string m_strNoticeBody;  // the notice's bytes as they arrived, before its line ends change
  // Size and SHA-256 of each component package (see packagepin.h).
  PackagePin m_XPDownloadPin;
  PackagePin m_98DownloadPin;
  PackagePin m_DatDownloadPin;
  PackagePin m_ServerDownloadPin;
  PackagePin m_OcxDownloadPin;
  // The notice's, beside its address: NOTICE_URL_SIZE, NOTICE_URL_SHA256.
  PackagePin m_NoticePin;
  // Delta packages by package address key and number (see deltaoffer.h).
  std::map<std::string, std::map<unsigned, DeltaOffer>> m_Deltas;
};

// Told what the parser does with a document, for tools that check documents before they are
// published. The updater installs none; the parse then behaves exactly as without it.
class CParseObserver {
 public:
  enum KeyUse {
    KEY_STORED,     // the key filled its field (or was appended, for OPTIONS_SETTING)
    KEY_COMMITTED,  // ETC_END: the extra project being built was committed
    KEY_UNKNOWN,    // the section takes no such key: the line does nothing
    KEY_IGNORED,    // the section code takes no keys at all (none, bracket open, unknown, ...)
  };
  virtual ~CParseObserver() = default;
  // One line as the parser cut it, starting at byte `offset` of the text, before it is read.
  virtual void OnLine(size_t offset, const std::string& line) {}
  // The line starting at `offset` begins with "<meta": the parse ends there, the line unread.
  virtual void OnStop(size_t offset, const std::string& line) {}
  // A "]" closed the name collected since the line's last key; the section code is now `code`.
  virtual void OnSection(const std::string& name, int code) {}
  // An "=" in section `section`: `key` upper-cased as matched; `value` as stored (quotes removed
  // where the parser removes them), or for a key that does nothing the text up to the value's end.
  virtual void OnKey(int section, const std::string& key, std::string_view value, KeyUse use) {}
  // A job line stored, as stored, in job list `type`.
  virtual void OnJobLine(int type, const std::string& job) {}
};

class CProjectData {
 public:
  // Section codes; the three job sections double as the job types.
  enum {
    SECTION_UNKNOWN = -1,
    SECTION_NONE = 0,
    SECTION_OPEN_BRACKET = 1,  // a "[" seen, its "]" not yet
    SECTION_PRODUCT = 3,
    SECTION_FOLDER = 4,
    SECTION_FILES = 5,
    SECTION_REGISTRY = 6,
    SECTION_POLICE_DATA = 8,
    SECTION_UPDATE_DATA = 9,
    SECTION_SERVER_LIST = 10,
    SECTION_LOGIN_OCX = 11,
    SECTION_OPTIONS = 12,
    SECTION_NOTICE = 14,
    SECTION_ETC_BASE = 100,  // plus the number of extra projects committed so far
  };
  enum { JOB_FOLDER = 4, JOB_FILES = 5, JOB_REGISTRY = 6 };

  CProjectData() = default;
  ~CProjectData() = default;
  CProjectData(const CProjectData&) = delete;
  CProjectData& operator=(const CProjectData&) = delete;

  // Reads the whole document; returns the download-address mark (1 when a component package
  // address was read, else 0).
  int Parse(const std::string& text);
  void ParseLine(const std::string& line);
  int GetSectionCode(const std::string& name);
  // The section whose keys include `key` (upper case): a section code, SECTION_ETC_BASE for the
  // extra-project keys, SECTION_UNKNOWN for a key no section takes.
  static int SectionOfKey(const std::string& key);
  // The fixed section names (every name but "ETC" and its number), with their codes.
  static const std::vector<std::pair<std::string, int>>& FixedSectionNames();
  std::string GetValue(const std::string& line, size_t start) const;

  std::string GetProjectName() const { return m_ProjectInfo.m_strProjectName; }
  std::string GetProject() const { return m_ProjectInfo.m_strProject; }
  std::string GetDeadline() const { return m_ProjectInfo.m_strDeadline; }
  int GetDebug() const { return m_ProjectInfo.m_nDebug; }
  std::string GetXPVersion() const { return m_ProjectInfo.m_strXPVersion; }
  std::string Get98Version() const { return m_ProjectInfo.m_str98Version; }
  std::string GetOcxVersion() const { return m_ProjectInfo.m_strOcxVersion; }
  std::string GetDatVersion() const { return m_ProjectInfo.m_strDatVersion; }
  std::string GetServerVersion() const { return m_ProjectInfo.m_strServerVersion; }
  std::string GetOptionsVersion() const { return m_ProjectInfo.m_strOptionsVersion; }
  std::string GetXPDownloadUrl() const { return m_ProjectInfo.m_strXPDownloadUrl; }
  std::string GetXPCompulsion() const { return m_ProjectInfo.m_strXPCompulsion; }
  std::string Get98DownloadUrl() const { return m_ProjectInfo.m_str98DownloadUrl; }
  std::string Get98Compulsion() const { return m_ProjectInfo.m_str98Compulsion; }
  std::string GetOcxDownloadUrl() const { return m_ProjectInfo.m_strOcxDownloadUrl; }
  std::string GetOcxCompulsion() const { return m_ProjectInfo.m_strOcxCompulsion; }
  std::string GetDatDownloadUrl() const { return m_ProjectInfo.m_strDatDownloadUrl; }
  std::string GetDatCompulsion() const { return m_ProjectInfo.m_strDatCompulsion; }
  std::string GetServerDownloadUrl() const { return m_ProjectInfo.m_strServerDownloadUrl; }
  std::string GetServerCompulsion() const { return m_ProjectInfo.m_strServerCompulsion; }
  std::string GetOptionCompulsion() const { return m_ProjectInfo.m_strOptionCompulsion; }
  std::string GetNoticeUrl() const { return m_ProjectInfo.m_strNoticeUrl; }
  std::string GetNotice() const { return m_ProjectInfo.m_strNotice; }
  const std::string& GetNoticeBody() const { return m_ProjectInfo.m_strNoticeBody; }
  // A notice that may not be shown (it does not match its pin) leaves nothing to show.
  void DiscardNotice() { m_ProjectInfo.m_strNotice.clear(); }
  // Pins of the component packages; an extra project carries its own (EtcProject::m_DownloadPin).
  PackagePin GetXPDownloadPin() const { return m_ProjectInfo.m_XPDownloadPin; }
  PackagePin Get98DownloadPin() const { return m_ProjectInfo.m_98DownloadPin; }
  PackagePin GetDatDownloadPin() const { return m_ProjectInfo.m_DatDownloadPin; }
  PackagePin GetServerDownloadPin() const { return m_ProjectInfo.m_ServerDownloadPin; }
  PackagePin GetOcxDownloadPin() const { return m_ProjectInfo.m_OcxDownloadPin; }
  PackagePin GetNoticePin() const { return m_ProjectInfo.m_NoticePin; }
  // The delta packages offered beside the package of address key `urlKey`, by number.
  std::vector<DeltaOffer> GetDeltas(const std::string& urlKey) const;
  // The delta packages offered beside the component package at `packageUrl`.
  std::vector<DeltaOffer> DeltasBeside(const std::string& packageUrl) const;
  std::vector<std::string>& GetOptionSettings() { return m_ProjectInfo.m_saOptionSettings; }
  const std::vector<std::string>& GetOptionSettings() const { return m_ProjectInfo.m_saOptionSettings; }

  // Job lists by job type (JOB_FOLDER, JOB_FILES, JOB_REGISTRY).
  int GetJobCount(int type) const;
  // The line when it is pending; "" when it is done or index is out of range.
  std::string GetJobLine(int type, int index) const;
  // The line's command word becomes "DONE"; an index out of range changes nothing.
  void MarkJobDone(int type, int index);

  EtcProject m_CurEtcProject;
  int m_nEtcCount = 0;
  int m_nSection = SECTION_NONE;
  int m_bHasDownload = 0;
  ProjectInfo m_ProjectInfo;
  std::vector<std::string> m_saFolder;
  std::vector<std::string> m_saFiles;
  std::vector<std::string> m_saRegistry;
  // Committed extra projects, in commit order. The update window moves out the ones it offers;
  // whatever is left goes with the catalogue.
  std::vector<std::unique_ptr<EtcProject>> m_arrEtcProject;
  // Not owned; null in the updater.
  CParseObserver* m_pObserver = nullptr;

 private:
  // Product, filter data, server list and login control sections.
  // Each returns whether the section takes the key.
  bool StoreComponentKey(int section, const std::string& key, const std::string& value);
  bool StoreEtcKey(const std::string& key, const std::string& value);
  // <KEY>_SIZE and <KEY>_SHA256 of a package address key of the section.
  bool StorePinKey(int section, const std::string& key, const std::string& value);
  // <KEY>_DELTA<n>... of a package address key of the section.
  bool StoreDeltaKey(int section, const std::string& key, const std::string& value);
  void StoreOptionsKey(const std::string& key, const std::string& value);
  void StoreJobLine(const std::string& line);
  void CommitEtcProject();
  void FetchNotice();
  std::vector<std::string>* JobList(int type);
  const std::vector<std::string>* JobList(int type) const;
};
