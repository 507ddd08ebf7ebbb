// The release description a maker writes for talvo-publish: plain text, one setting per line,
// "#" comments. See tools/publish/README.md for the format.
#pragma once
#include <string>
#include <vector>

struct ReleaseComponent {
  std::string strKind;  // xp, 98, filter, serverlist, login, options or extra
  int nLine = 0;        // where its block starts
  // Texts that go into the document are code page 949; paths on this machine stay UTF-8.
  std::string strVersion;
  std::string strCompulsion;  // "1", "0" or "" when not given
  std::string strFilesDir;    // UTF-8, relative to the description's folder or absolute
  std::string strCopyTo;      // a COPY job puts every packed file in this folder
  std::string strPackage;     // package file name; empty: made from the kind and version
  std::vector<std::string> saSettings;  // options
  std::string strName, strProgram, strPath, strRegistry;  // extra project
};

struct ReleaseJob {
  int nLine = 0;
  int nType = 0;  // 4 FOLDER, 5 FILES, 6 REGISTRY
  std::string strLine;
};

struct ReleaseDescription {
  std::string strBaseUrl;
  std::string strProject;
  std::string strDeadline;
  std::string strNoticeFile;  // UTF-8 path
  std::vector<ReleaseComponent> components;
  std::vector<ReleaseJob> jobs;
};

// Reads a description (UTF-8). Each problem is appended to `errors` as "LINE: message"; the
// description is usable only when none was.
ReleaseDescription ParseReleaseDescription(const std::string& text, std::vector<std::string>& errors);

// True for a kind whose files are packed into a package.
bool IsPackagedKind(const std::string& kind);
