// Fuzzes the local state's text handling with document-controlled input: the "NUM" form,
// registry paths, setting splitting, path macro substitution and the data file bytes.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "localstate/datversion.h"
#include "localstate/pathmacrotext.h"
#include "localstate/regnumber.h"
#include "localstate/regpath.h"
#include "localstate/splitstring.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);

  if (IsRegNumber(text)) (void)ParseRegNumber(text);
  (void)ParseRegNumber("NUM:" + text);

  const RegistryPath key = SplitRegistryPath(text);
  if (key.strRootName.size() > 4 || key.strSubKey.size() > text.size()) std::abort();

  // Splitting then joining gives the text back, less a final separator.
  for (const std::string& sep : {std::string("\\\\"), std::string(1, '\\')}) {
    std::vector<std::string> parts;
    SplitString(text, sep, parts);
    std::string joined;
    for (size_t i = 0; i < parts.size(); ++i) joined += (i ? sep : "") + parts[i];
    if (joined != text && joined + sep != text) std::abort();
  }

  const size_t half = size / 2;
  const PathMacroFolders folders{text.substr(0, half), "S<WINDIR>", "P", text.substr(half)};
  (void)SubstitutePathMacros(text, text.substr(half), folders);

  std::vector<unsigned char> bytes(data, data + size);
  (void)DecodeDatVersion(bytes.data(), bytes.size());
  XorBuffer(bytes.data(), static_cast<int>(bytes.size()), kDatVersionKey);
  XorBuffer(bytes.data(), static_cast<int>(bytes.size()), kDatVersionKey);
  if (bytes != std::vector<unsigned char>(data, data + size)) std::abort();
  return 0;
}
