// Fuzzes the safe-name rules: no crash, and the three answers agree with each other.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "safename/safename.h"

namespace {

std::string WithSeparator(std::string text, char from, char to) {
  for (char& c : text)
    if (c == from) c = to;
  return text;
}

std::string AsciiUpper(std::string text) {
  for (char& c : text)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  return text;
}

bool HasOtherThanDotsAndBlanks(const std::string& component) {
  return component.find_first_not_of(". ") != std::string::npos;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  const bool device = IsDeviceName(text);
  const bool fileName = IsSafeFileName(text);
  const bool path = IsSafeRelativePath(text);

  if (device && (fileName || path)) std::abort();
  if (fileName && !path) std::abort();
  if (device != IsDeviceName(AsciiUpper(text))) std::abort();
  // Either separator means the same.
  if (path != IsSafeRelativePath(WithSeparator(text, '\\', '/'))) std::abort();
  if (path != IsSafeRelativePath(WithSeparator(text, '/', '\\'))) std::abort();

  if (path) {
    if (text[0] == '/' || text[0] == '\\' || text.find(':') != std::string::npos) std::abort();
    // Every component that is more than dots and blanks is a safe file name by itself.
    size_t start = 0;
    for (size_t i = 0; i <= text.size(); ++i) {
      if (i < text.size() && text[i] != '/' && text[i] != '\\') continue;
      const std::string component = text.substr(start, i - start);
      if (HasOtherThanDotsAndBlanks(component) && !IsSafeFileName(component)) std::abort();
      if (component.find("..") != std::string::npos && !HasOtherThanDotsAndBlanks(component)) std::abort();
      start = i + 1;
    }
    // Two safe paths joined stay safe.
    const size_t half = text.size() / 2;
    if (IsSafeRelativePath(text.substr(0, half)) && IsSafeRelativePath(text.substr(half)) &&
        !IsSafeRelativePath(text.substr(0, half) + "/" + text.substr(half)))
      std::abort();
  }
  return 0;
}
