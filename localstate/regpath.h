// Key paths of registry install jobs: a root name, one separator, the sub key ("HKLM\Software\X").
#pragma once
#include <string>

struct RegistryPath {
  std::string strRootName;  // as written; GetRootKey maps it (unknown names mean HKEY_CURRENT_USER)
  std::string strSubKey;    // may be empty
};

// The root field is the first four characters and the sub key starts at the sixth (the fifth is
// skipped unseen). The three-letter root "HKU" followed by a backslash also names HKEY_USERS,
// with the sub key right after that backslash.
RegistryPath SplitRegistryPath(const std::string& path);
