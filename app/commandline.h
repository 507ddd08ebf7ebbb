// How the updater reads its command line and builds its one request.
#pragma once
#include <string>

// A background run: "/background" anywhere in the command line, exact case.
bool IsBackgroundCommandLine(const std::string& commandLine);

// "-ignoreinstances" or "/ignoreinstances", whole argument, exact case.
bool IsIgnoreInstancesArgument(const std::string& argument);

// The information request: the stem (ends in "?ver="), the first four characters of the installed
// version (all of it when shorter), "&WinOS=" and the Windows version text.
std::string BuildInformationUrl(const std::string& stem, const std::string& installedVersion,
                                const std::string& winVersionText);

// The Windows version as text. mask 0x100: major; 0x10: minor; 0x1: build value; the parts present
// are joined by "." (e.g. mask 0x110 gives "6.1"). Trailing white space is removed.
std::string FormatWinVersionText(unsigned long mask, unsigned long major, unsigned long minor,
                                 unsigned long buildValue);

// The build value of FormatWinVersionText: the build number's low 15 bits, plus 0x8000 on a
// platform other than NT (platform id 2).
unsigned long WinVersionBuildValue(unsigned long buildNumber, unsigned long platformId);

// The arguments part of a full command line (GetCommandLineA): the program name, quoted or not,
// and the blanks after it are skipped, as the entry point's command-line argument has them.
std::string CommandLineArguments(const std::string& fullCommandLine);

// "/diagnostics [FOLDER]" (or "-diagnostics") at the start of the arguments: TRUE, with the folder
// (quotes taken off; empty when none is given) in folder.
bool ReadDiagnosticsArgument(const std::string& arguments, std::string& folder);
