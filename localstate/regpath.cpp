#include "localstate/regpath.h"

RegistryPath SplitRegistryPath(const std::string& path) {
  RegistryPath result;
  if (path.compare(0, 4, "HKU\\") == 0) {
    result.strRootName = "HKU";
    result.strSubKey = path.substr(4);
    return result;
  }
  result.strRootName = path.substr(0, 4);
  if (path.size() > 5) result.strSubKey = path.substr(5);
  return result;
}
