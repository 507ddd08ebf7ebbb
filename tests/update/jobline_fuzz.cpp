// Any job line splits into exactly five fields without "=" or ",", and forms operands for every
// instruction without reading out of bounds.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "catalogue/jobline.h"

namespace {

std::string Join(const std::string& path, const std::string& name) {
  return name.empty() ? path : path + "\\" + name;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string line(reinterpret_cast<const char*>(data), size);
  static const char* const kKeywords[] = {"CREATE", "DELETE", "CHANGE", "COPY", "REGIST",
                                          "UNREGIST", "ADDKEY", "DELKEY", "ADDVAL", "DELVAL"};
  const std::string strSource = "C:\\Talvo\\Update\\";
  for (int section = 4; section <= 6; ++section) {
    std::vector<std::string> saJobParam;
    SplitJobLine(section, line, saJobParam);
    if (saJobParam.size() != kJobParamCount) std::abort();
    for (const std::string& field : saJobParam)
      if (field.find_first_of("=,") != std::string::npos) std::abort();
    // Only REGISTRY lines still carry comments to cut.
    if (section != 6 && line.find_first_of("=,") == std::string::npos && saJobParam[0] != line)
      std::abort();
    for (const char* keyword : kKeywords) {
      const JobRule* rule = FindJobRule(section, keyword);
      if (!rule) continue;
      JobOperands operands;
      if (MakeJobOperands(*rule, saJobParam, strSource, Join, operands) &&
          rule->operation == JobOperation::kCopyFile &&
          operands.str1.compare(0, strSource.size(), strSource) != 0)
        std::abort();
    }
  }
  return 0;
}
