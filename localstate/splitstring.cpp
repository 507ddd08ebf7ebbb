#include "localstate/splitstring.h"

void SplitString(const std::string& text, const std::string& separator,
                 std::vector<std::string>& list) {
  size_t start = 0;
  if (!separator.empty()) {
    for (size_t found; (found = text.find(separator, start)) != std::string::npos;
         start = found + separator.size())
      list.push_back(text.substr(start, found - start));
  }
  if (start < text.size()) list.push_back(text.substr(start));
}
