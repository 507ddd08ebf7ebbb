#include "tools/talvo-doc/cataloguejson.h"

#include <cstdio>
#include <vector>

#include "catalogue/projectdata.h"
#include "tools/talvo-doc/cp949.h"

std::string JsonString(const std::string& cp949) {
  const std::string utf8 = Cp949ToUtf8(cp949);
  std::string out = "\"";
  for (char c : utf8) {
    const unsigned char byte = static_cast<unsigned char>(c);
    switch (c) {
      case '"': out += "\\\""; break;
      case '\\': out += "\\\\"; break;
      case '\b': out += "\\b"; break;
      case '\f': out += "\\f"; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      case '\t': out += "\\t"; break;
      default:
        if (byte < 0x20 || byte == 0x7F) {
          char escape[8];
          std::snprintf(escape, sizeof escape, "\\u%04x", byte);
          out += escape;
        } else {
          out += c;
        }
    }
  }
  out += '"';
  return out;
}

namespace {

class MemberWriter {
 public:
  MemberWriter(std::string& out, const char* indent) : m_out(out), m_indent(indent) {}

  void Text(const char* name, const std::string& value) { Raw(name, JsonString(value)); }
  void Number(const char* name, int value) { Raw(name, std::to_string(value)); }
  void Texts(const char* name, const std::vector<std::string>& values) {
    std::string array = "[";
    for (size_t i = 0; i < values.size(); ++i) {
      array += i == 0 ? "\n" : ",\n";
      array += m_indent;
      array += "  ";
      array += JsonString(values[i]);
    }
    if (!values.empty()) array += std::string("\n") + m_indent;
    array += "]";
    Raw(name, array);
  }
  void Raw(const char* name, const std::string& json) {
    m_out += m_first ? "\n" : ",\n";
    m_first = false;
    m_out += m_indent;
    m_out += JsonString(name);
    m_out += ": ";
    m_out += json;
  }

 private:
  std::string& m_out;
  const char* m_indent;
  bool m_first = true;
};

std::string EtcProjectsJson(const std::vector<std::unique_ptr<EtcProject>>& projects) {
  if (projects.empty()) return "[]";
  std::string out = "[";
  for (size_t i = 0; i < projects.size(); ++i) {
    const EtcProject& p = *projects[i];
    out += i == 0 ? "\n    {" : ",\n    {";
    MemberWriter member(out, "      ");
    member.Text("Name", p.m_strName);
    member.Text("DownloadUrl", p.m_strDownloadUrl);
    member.Text("Exe", p.m_strExe);
    member.Text("Path", p.m_strPath);
    member.Text("Reg", p.m_strReg);
    member.Text("Compulsion", p.m_strCompulsion);
    out += "\n    }";
  }
  out += "\n  ]";
  return out;
}

}  // namespace

std::string CatalogueToJson(const CProjectData& catalogue, int hasDownload) {
  const CProjectData& c = catalogue;
  std::string out = "{";
  MemberWriter member(out, "  ");
  member.Text("ProjectName", c.GetProjectName());
  member.Text("Project", c.GetProject());
  member.Text("Deadline", c.GetDeadline());
  member.Number("Debug", c.GetDebug());
  member.Text("XPVersion", c.GetXPVersion());
  member.Text("XPDownloadUrl", c.GetXPDownloadUrl());
  member.Text("XPCompulsion", c.GetXPCompulsion());
  member.Text("98Version", c.Get98Version());
  member.Text("98DownloadUrl", c.Get98DownloadUrl());
  member.Text("98Compulsion", c.Get98Compulsion());
  member.Text("DatVersion", c.GetDatVersion());
  member.Text("DatDownloadUrl", c.GetDatDownloadUrl());
  member.Text("DatCompulsion", c.GetDatCompulsion());
  member.Text("ServerVersion", c.GetServerVersion());
  member.Text("ServerDownloadUrl", c.GetServerDownloadUrl());
  member.Text("ServerCompulsion", c.GetServerCompulsion());
  member.Text("OcxVersion", c.GetOcxVersion());
  member.Text("OcxDownloadUrl", c.GetOcxDownloadUrl());
  member.Text("OcxCompulsion", c.GetOcxCompulsion());
  member.Text("OptionsVersion", c.GetOptionsVersion());
  member.Text("OptionCompulsion", c.GetOptionCompulsion());
  member.Texts("OptionSettings", c.GetOptionSettings());
  member.Text("NoticeUrl", c.GetNoticeUrl());
  member.Texts("Folder", c.m_saFolder);
  member.Texts("Files", c.m_saFiles);
  member.Texts("Registry", c.m_saRegistry);
  member.Raw("EtcProjects", EtcProjectsJson(c.m_arrEtcProject));
  member.Number("HasDownload", hasDownload);
  out += "\n}\n";
  return out;
}
