#include "app/commandline.h"

bool IsBackgroundCommandLine(const std::string& commandLine) {
  return commandLine.find("/background") != std::string::npos;
}

bool IsIgnoreInstancesArgument(const std::string& argument) {
  if (argument.empty() || (argument[0] != '-' && argument[0] != '/')) return false;
  return argument.compare(1, std::string::npos, "ignoreinstances") == 0;
}

std::string BuildInformationUrl(const std::string& stem, const std::string& installedVersion,
                                const std::string& winVersionText) {
  return stem + installedVersion.substr(0, 4) + "&WinOS=" + winVersionText;
}

std::string FormatWinVersionText(unsigned long mask, unsigned long major, unsigned long minor,
                                 unsigned long buildValue) {
  std::string strVerion;
  const auto appendPart = [&strVerion](unsigned long value) {
    if (!strVerion.empty()) strVerion += '.';
    strVerion += std::to_string(value);
  };
  if (mask & 0x100) strVerion = std::to_string(major);
  if (mask & 0x10) appendPart(minor);
  if (mask & 0x1) appendPart(buildValue);
  while (!strVerion.empty() && (strVerion.back() == ' ' || strVerion.back() == '\t' ||
                                strVerion.back() == '\r' || strVerion.back() == '\n')) {
    strVerion.pop_back();
  }
  return strVerion;
}

unsigned long WinVersionBuildValue(unsigned long buildNumber, unsigned long platformId) {
  unsigned long value = buildNumber & 0x7FFF;
  if (platformId != 2) value += 0x8000;
  return value;
}

std::string CommandLineArguments(const std::string& fullCommandLine) {
  size_t pos = 0;
  if (!fullCommandLine.empty() && fullCommandLine[0] == '"') {
    const size_t close = fullCommandLine.find('"', 1);
    pos = close == std::string::npos ? fullCommandLine.size() : close + 1;
  } else {
    while (pos < fullCommandLine.size() && fullCommandLine[pos] != ' ' &&
           fullCommandLine[pos] != '\t') {
      ++pos;
    }
  }
  while (pos < fullCommandLine.size() && (fullCommandLine[pos] == ' ' || fullCommandLine[pos] == '\t')) {
    ++pos;
  }
  return fullCommandLine.substr(pos);
}

bool ReadDiagnosticsArgument(const std::string& arguments, std::string& folder) {
  static const char kSwitch[] = "diagnostics";
  const size_t switchLength = sizeof kSwitch - 1;
  if (arguments.size() < 1 + switchLength || (arguments[0] != '/' && arguments[0] != '-') ||
      arguments.compare(1, switchLength, kSwitch) != 0)
    return false;
  size_t pos = 1 + switchLength;
  if (pos < arguments.size() && arguments[pos] != ' ' && arguments[pos] != '\t') return false;
  while (pos < arguments.size() && (arguments[pos] == ' ' || arguments[pos] == '\t')) ++pos;
  folder = arguments.substr(pos);
  while (!folder.empty() && (folder.back() == ' ' || folder.back() == '\t')) folder.pop_back();
  if (folder.size() >= 2 && folder.front() == '"' && folder.back() == '"') folder = folder.substr(1, folder.size() - 2);
  return true;
}
