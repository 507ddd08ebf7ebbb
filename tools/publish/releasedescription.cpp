#include "tools/publish/releasedescription.h"

#include <algorithm>

#include "catalogue/projectdata.h"
#include "tools/talvo-doc/cp949.h"

namespace {

const char* const kKinds[] = {"xp", "98", "filter", "serverlist", "login", "options", "extra"};

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r'; }

std::string Trim(const std::string& text) {
  size_t first = 0, last = text.size();
  while (first < last && IsBlank(text[first])) ++first;
  while (last > first && IsBlank(text[last - 1])) --last;
  return text.substr(first, last - first);
}

// "#" at the start or after a blank begins a comment.
std::string WithoutComment(const std::string& line) {
  for (size_t i = 0; i < line.size(); ++i)
    if (line[i] == '#' && (i == 0 || IsBlank(line[i - 1]))) return line.substr(0, i);
  return line;
}

class Reader {
 public:
  explicit Reader(std::vector<std::string>& errors) : m_errors(errors) {}

  void Line(int number, const std::string& raw) {
    m_nLine = number;
    const std::string line = Trim(WithoutComment(raw));
    if (line.empty()) return;
    size_t blank = 0;
    while (blank < line.size() && !IsBlank(line[blank])) ++blank;
    const std::string word = line.substr(0, blank);
    const std::string value = Trim(line.substr(blank));

    if (word == "component") return Component(value);
    if (word == "job") return Job(value);
    if (word == "base-url" || word == "project" || word == "deadline" || word == "notice") {
      m_pCurrent = nullptr;
      if (word == "base-url") m_release.strBaseUrl = Needed(word, value);
      if (word == "project") m_release.strProject = Text(Needed(word, value));
      if (word == "deadline") m_release.strDeadline = Text(Needed(word, value));
      if (word == "notice") m_release.strNoticeFile = Needed(word, value);
      return;
    }
    if (m_pCurrent == nullptr) return Error("\"" + word + "\" is no setting of the release; it belongs in a component");
    ComponentLine(word, value);
  }

  ReleaseDescription Finish() {
    for (const ReleaseComponent& c : m_release.components) {
      m_nLine = c.nLine;
      const bool extra = c.strKind == "extra";
      if (!extra && c.strVersion.empty()) Error("component " + c.strKind + " needs a version");
      if (!extra && c.strCompulsion.empty()) Error("component " + c.strKind + " needs \"compulsory yes\" or \"compulsory no\"");
      if (IsPackagedKind(c.strKind) && c.strFilesDir.empty()) Error("component " + c.strKind + " needs its folder of files (\"files DIR\")");
      if (extra && c.strName.empty()) Error("an extra project needs a name");
    }
    return m_release;
  }

 private:
  void Error(const std::string& message) { m_errors.push_back(std::to_string(m_nLine) + ": " + message); }

  std::string Needed(const std::string& word, const std::string& value) {
    if (value.empty()) Error("\"" + word + "\" needs a value");
    return value;
  }

  // A text that goes into the document: code page 949, and nothing that would end its value.
  std::string Text(const std::string& value) {
    std::string cp949;
    if (!Utf8ToCp949(value, cp949)) {
      Error("\"" + value + "\" is not UTF-8 or holds a character code page 949 cannot write");
      return std::string();
    }
    if (cp949.find(';') != std::string::npos)
      Error("\";\" would end the value in the document and cut off the rest: leave it out");
    return cp949;
  }

  void Component(const std::string& kind) {
    if (std::find(std::begin(kKinds), std::end(kKinds), kind) == std::end(kKinds)) {
      m_pCurrent = nullptr;
      return Error("unknown component \"" + kind + "\"; components: xp 98 filter serverlist login options extra");
    }
    if (kind != "extra") {
      for (const ReleaseComponent& c : m_release.components)
        if (c.strKind == kind) Error("component " + kind + " is given twice (first at line " + std::to_string(c.nLine) + ")");
    }
    m_release.components.emplace_back();
    m_pCurrent = &m_release.components.back();
    m_pCurrent->strKind = kind;
    m_pCurrent->nLine = m_nLine;
  }

  void ComponentLine(const std::string& word, const std::string& value) {
    ReleaseComponent& c = *m_pCurrent;
    const bool extra = c.strKind == "extra";
    const bool options = c.strKind == "options";
    const auto only = [&](bool allowed) {
      if (!allowed) Error("\"" + word + "\" does not belong in component " + c.strKind);
      return allowed;
    };
    if (word == "version" && only(!extra)) {
      c.strVersion = Text(Needed(word, value));
    } else if (word == "compulsory") {
      if (value == "yes" || value == "1") c.strCompulsion = "1";
      else if (value == "no" || value == "0") c.strCompulsion = "0";
      else Error("\"compulsory\" is yes or no");
    } else if (word == "files" && only(IsPackagedKind(c.strKind))) {
      c.strFilesDir = Needed(word, value);
    } else if (word == "copy-to" && only(IsPackagedKind(c.strKind))) {
      c.strCopyTo = Text(Needed(word, value));
    } else if (word == "package" && only(IsPackagedKind(c.strKind))) {
      c.strPackage = Text(Needed(word, value));
    } else if (word == "setting" && only(options)) {
      c.saSettings.push_back(Text(Needed(word, value)));
    } else if (word == "name" && only(extra)) {
      c.strName = Text(Needed(word, value));
    } else if (word == "program" && only(extra)) {
      c.strProgram = Text(Needed(word, value));
    } else if (word == "path" && only(extra)) {
      c.strPath = Text(Needed(word, value));
    } else if (word == "registry" && only(extra)) {
      c.strRegistry = Text(Needed(word, value));
    } else if (word != "version" && word != "files" && word != "copy-to" && word != "package" &&
               word != "setting" && word != "name" && word != "program" && word != "path" && word != "registry") {
      Error("unknown setting \"" + word + "\"");
    }
  }

  void Job(const std::string& value) {
    m_pCurrent = nullptr;
    size_t blank = 0;
    while (blank < value.size() && !IsBlank(value[blank])) ++blank;
    const std::string section = value.substr(0, blank);
    ReleaseJob job;
    job.nLine = m_nLine;
    job.nType = section == "folder"     ? CProjectData::JOB_FOLDER
                : section == "files"    ? CProjectData::JOB_FILES
                : section == "registry" ? CProjectData::JOB_REGISTRY
                                        : 0;
    if (job.nType == 0) return Error("a job is \"job folder|files|registry COMMAND=...\"");
    job.strLine = Text(Trim(value.substr(blank)));
    if (job.strLine.find('=') == std::string::npos) return Error("a job line needs \"=\" after its command word");
    m_release.jobs.push_back(job);
  }

  std::vector<std::string>& m_errors;
  ReleaseDescription m_release;
  ReleaseComponent* m_pCurrent = nullptr;
  int m_nLine = 0;
};

}  // namespace

bool IsPackagedKind(const std::string& kind) { return kind != "options"; }

ReleaseDescription ParseReleaseDescription(const std::string& text, std::vector<std::string>& errors) {
  Reader reader(errors);
  int number = 0;
  size_t start = 0;
  while (start <= text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    reader.Line(++number, text.substr(start, end - start));
    start = end + 1;
  }
  return reader.Finish();
}
