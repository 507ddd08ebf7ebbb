// Install job lines of the FOLDER, FILES and REGISTRY sections: how a line splits into fields,
// which operation a keyword stands for in its section, and which operands the operation gets.
// Nothing here calls Windows, so it is also tested and fuzzed on the host.
#pragma once
#include <string>
#include <vector>

// Number of fields every split line has: the keyword and up to four operands.
constexpr size_t kJobParamCount = 5;

// Splits a stored line of job section `nSection` (4 FOLDER, 5 FILES, 6 REGISTRY) at every "="
// and "," (inside double quotes too) into `saJobParam`. An empty last field is dropped; the list
// is then padded with empty fields, or cut, to exactly five. Always returns 1.
// REGISTRY lines keep their double quotes: they stay in the fields, and a ";" outside them ends
// the line. FOLDER and FILES lines lost their quotes and comments in the catalogue, so a ";"
// left in them was quoted there and belongs to its field.
int SplitJobLine(int nSection, const std::string& line, std::vector<std::string>& saJobParam);

enum class JobOperation {
  kCopyFile,           // source, destination
  kDeleteFile,         // path
  kRegisterControl,    // path
  kUnregisterControl,  // path
  kCreateFolder,       // path
  kDeleteFolder,       // path
  kRename,             // old path, new path
  kAddKey,             // key path
  kDeleteKey,          // key path
  kAddValue,           // key path, value name, data
  kDeleteValue,        // key path, value name
};

// How a line's fields become operands; expand(x, y) is the path macro expansion.
enum class JobOperandForm {
  kFolder,          // expand(field 1, "")
  kOldAndNewPath,   // expand(field 1, ""), expand(field 2, "")
  kFileInFolder,    // expand(field 1, field 2)
  kStagedFile,      // staging folder + field 2, expand(field 1, field 2)
  kKey,             // field 1
  kKeyAndValue,     // field 1, field 2
  kKeyValueData,    // field 1, field 2, expand(field 3, "")
};

struct JobRule {
  int nSection;
  const char* szKeyword;
  JobOperation operation;
  JobOperandForm form;
};

// The rule for `keyword` in job section `nSection` (4 FOLDER, 5 FILES, 6 REGISTRY), compared
// exactly; nullptr when the section has no such keyword.
const JobRule* FindJobRule(int nSection, const std::string& keyword);

using PathExpander = std::string (*)(const std::string& path, const std::string& name);

struct JobOperands {
  std::string str1, str2, str3;
};

// The operands of `rule` for a split line. `strSource` is the staging folder, ending with a
// backslash. Returns false, with empty operands, when a COPY names a staged file that
// is not a plain relative name: its source would lie outside the staging folder, and the copy
// deletes its source.
bool MakeJobOperands(const JobRule& rule, const std::vector<std::string>& saJobParam,
                     const std::string& strSource, PathExpander expand, JobOperands& operands);

// regsvr32's parameters: `flags`, a blank, then the control's path. A path that still holds a
// blank (no short form could be had) is quoted, since regsvr32 would otherwise split it.
std::string RegsvrParameters(const std::string& flags, const std::string& path);
