// Version texts are compared as text, never as numbers: "3.10" sorts before "3.9" and "1.0"
// before "1.00". Code page 949 double-byte characters count as one unit each.
#pragma once
#include <string>

// <0, 0 or >0 as `left` sorts before, equal to or after `right`. Units are compared by value: a
// single byte as itself, a lead byte (0x81-0xFE) with its trail byte as lead * 256 + trail; a
// text that is a prefix of the other sorts first.
int CompareVersionText(const std::string& left, const std::string& right);

// TRUE-ish when the installed text sorts before the offered one: the component is outdated.
// An installed text equal to or above the offered one never counts, so nothing is downgraded.
bool IsVersionLower(const std::string& installed, const std::string& offered);
