// The one place that decides which names may be written below a folder of ours: entry names of
// zip packages, file names taken from URLs and the staged sources of the install script. A name
// passes only when, joined to a folder, it names a plain file or folder inside that folder that
// Windows can create. No system calls: the rules are the same in every build.
#pragma once
#include <cstddef>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

// True for a name Windows opens as a device in every folder: CON, PRN, AUX, NUL, CONIN$,
// CONOUT$, and COM or LPT followed by one digit 0-9 or a superscript 1-3 (code page 949 or
// Latin-1 bytes). Case does not matter, nor does an extension, a stream suffix after ":" or
// blanks before them ("nul .txt"). COM0 and LPT0 count too: newer Windows reserves them, and no
// package has a reason to use such a name.
bool IsDeviceName(std::string_view component);

// One plain file-name component, as taken from the last segment of a URL: not empty, not made
// of dots and blanks only ("." or ".." once Windows drops trailing dots and blanks), without
// "\", "/", ":", the characters no Windows file name holds (< > " | ? *) or control characters,
// and not a device name. A trailing dot or blank passes: Windows drops it and writes the file
// under the shorter name, and reading the same text back finds that file again.
bool IsSafeFileName(std::string_view name);

// A path relative to a folder of ours, with "\" or "/" as separators: not empty, not starting
// with a separator (root, UNC or "\\?\" paths), no ":" anywhere (drive letters, streams), none of
// < > " | ? *, no control characters, and no component that is ".." (also written with trailing
// dots or blanks, such as ". ." or ".. ") or a device name. Doubled separators, "." components
// and a trailing separator (a folder entry) stay inside the folder and are allowed.
bool IsSafeRelativePath(std::string_view path);

// A safe relative path that Windows writes under exactly the name given: no component other
// than "." ends in a dot or a blank, which Windows would drop ("a." and "a " are written as
// "a"). For names a maker chooses, so that what is published is what lands on the client.
bool KeepsItsNameOnWindows(std::string_view path);

// What Windows compares when it looks a name up in a folder: letters in one case (ASCII and the
// double-byte Latin, Greek, Cyrillic and Roman-numeral letters of code page 949; a trail byte is
// never taken for an ASCII letter), "\" as "/", and the trailing dots and blanks of every
// component dropped. Two names with the same key are one file there.
std::string WindowsNameKey(std::string_view path);

// Every name of `names` that Windows takes for an earlier one, as (earlier index, index), in
// order of the later index. Equal names clash too.
std::vector<std::pair<size_t, size_t>> FindWindowsNameClashes(const std::vector<std::string>& names);
