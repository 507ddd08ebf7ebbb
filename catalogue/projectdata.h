// The update information document and the component catalogue read from it.
//
// Texts are code page 949 bytes. The catalogue does not call Windows, so it also builds and is
// tested and fuzzed on the host.
#pragma once

#include <memory>
#include <string>
#include <vector>

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

 private:
  // Product, filter data, server list and login control sections.
  void StoreComponentKey(int section, const std::string& key, const std::string& value);
  void StoreEtcKey(const std::string& key, const std::string& value);
  void StoreOptionsKey(const std::string& key, const std::string& value);
  void StoreJobLine(const std::string& line);
  void CommitEtcProject();
  void FetchNotice();
  std::vector<std::string>* JobList(int type);
  const std::vector<std::string>* JobList(int type) const;
};
