// Splitting a text at a multi-character separator.
#pragma once
#include <string>
#include <vector>

// Appends to `list` the parts of `text` between occurrences of `separator`. Empty parts between
// two separators stay; an empty last part after a final separator is dropped. An empty
// separator splits nothing: the whole (non-empty) text is one part.
void SplitString(const std::string& text, const std::string& separator,
                 std::vector<std::string>& list);
