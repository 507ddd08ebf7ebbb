// Fuzzes the safe-name rules: no crash, the four answers agree with each other, and names that
// Windows takes for one file have one key.
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

std::string AsciiLower(std::string text) {
  for (char& c : text)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return text;
}

bool IsAscii(const std::string& text) {
  for (const char c : text)
    if (static_cast<unsigned char>(c) >= 0x80) return false;
  return true;
}

bool HasOtherThanDotsAndBlanks(const std::string& component) {
  return component.find_first_not_of(". ") != std::string::npos;
}

void CheckKeys(const std::string& text) {
  const std::string key = WindowsNameKey(text);
  if (WindowsNameKey(key) != key) std::abort();
  if (key.find('\\') != std::string::npos) std::abort();
  // Windows drops a trailing dot or blank, and ASCII letters have one case for it. Any other
  // byte is kept: a code page 949 trail byte that looks like a letter is no letter.
  if (WindowsNameKey(text + ".") != key || WindowsNameKey(text + " ") != key) std::abort();
  if (IsAscii(text) && (WindowsNameKey(AsciiUpper(text)) != key || WindowsNameKey(AsciiLower(text)) != key))
    std::abort();
  if (key.size() > text.size()) std::abort();
  // The key is case-blind, never blind to other bytes: names that differ beyond case, trailing
  // dots and blanks and the separator have different keys.
  const size_t half = text.size() / 2;
  const std::string a = text.substr(0, half);
  const std::string b = text.substr(half);
  const bool same = WindowsNameKey(a) == WindowsNameKey(b);
  const auto clashes = FindWindowsNameClashes({a, b});
  if (same != (clashes.size() == 1) || (same && (clashes[0].first != 0 || clashes[0].second != 1))) std::abort();
  if (IsAscii(a) && IsAscii(b) && a.find_first_of("/\\ .") == std::string::npos &&
      b.find_first_of("/\\ .") == std::string::npos && same != (AsciiUpper(a) == AsciiUpper(b)))
    std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  const bool device = IsDeviceName(text);
  const bool fileName = IsSafeFileName(text);
  const bool path = IsSafeRelativePath(text);
  const bool exact = KeepsItsNameOnWindows(text);

  if (device && (fileName || path || exact)) std::abort();
  if (fileName && !path) std::abort();
  if (exact && !path) std::abort();
  // A file name that Windows keeps as given loses nothing in its key.
  if (fileName && exact && WindowsNameKey(text).size() != text.size()) std::abort();
  if (path && text.find_first_of("<>\"|?*") != std::string::npos) std::abort();
  CheckKeys(text);
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
