// The one place that decides which names may be written below a folder of ours: entry names of
// zip packages, file names taken from URLs and the staged sources of the install script. A name
// passes only when, joined to a folder, it names a plain file or folder inside that folder.
// No system calls: the rules are the same in every build.
#pragma once
#include <string_view>

// True for a name Windows opens as a device in every folder: CON, PRN, AUX, NUL, CONIN$,
// CONOUT$, and COM or LPT followed by one digit 0-9 or a superscript 1-3 (code page 949 or
// Latin-1 bytes). Case does not matter, nor does an extension, a stream suffix after ":" or
// blanks before them ("nul .txt"). COM0 and LPT0 count too: newer Windows reserves them, and no
// package has a reason to use such a name.
bool IsDeviceName(std::string_view component);

// One plain file-name component, as taken from the last segment of a URL: not empty, not made
// of dots and blanks only ("." or ".." once Windows drops trailing dots and blanks), without
// "\", "/", ":" or control characters, and not a device name.
bool IsSafeFileName(std::string_view name);

// A path relative to a folder of ours, with "\" or "/" as separators: not empty, not starting
// with a separator (root, UNC or "\\?\" paths), no ":" anywhere (drive letters, streams), no
// control characters, and no component that is ".." (also written with trailing dots or
// blanks, such as ". ." or ".. ") or a device name. Doubled separators, "." components and a
// trailing separator (a folder entry) stay inside the folder and are allowed.
bool IsSafeRelativePath(std::string_view path);
