// Version texts come from the server and the registry: the order must stay a total order on any
// bytes, and the command-line readers must take anything.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "app/commandline.h"
#include "catalogue/versiontext.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string input(reinterpret_cast<const char*>(data), size);
  const size_t cut = input.find('\0');
  const std::string a = input.substr(0, cut);
  const std::string b = cut == std::string::npos ? std::string() : input.substr(cut + 1);

  const int ab = CompareVersionText(a, b);
  const int ba = CompareVersionText(b, a);
  if ((ab < 0) != (ba > 0) || (ab == 0) != (ba == 0)) std::abort();
  if (CompareVersionText(a, a) != 0) std::abort();
  if (IsVersionLower(a, b) && IsVersionLower(b, a)) std::abort();
  // A text and any text it is a prefix of.
  if (CompareVersionText(a, a + b) > 0) std::abort();

  const std::string args = CommandLineArguments(input);
  if (args.size() > input.size()) std::abort();
  IsBackgroundCommandLine(args);
  IsIgnoreInstancesArgument(a);
  const std::string url = BuildInformationUrl("s?ver=", a, b);
  if (url.size() > 6 + 4 + 7 + b.size()) std::abort();
  return 0;
}
