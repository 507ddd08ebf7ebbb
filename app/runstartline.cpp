#include "app/runstartline.h"

#include <windows.h>

#include <cstdio>
#include <vector>

#include "crypto/hex.h"
#include "crypto/sha256hasher.h"
#include "talvobuildconfig.h"

namespace {

const char* BuildName() { return sizeof(void*) == 8 ? "win64" : "win32"; }

std::string WindowsVersion() {
  OSVERSIONINFOA info = {};
  info.dwOSVersionInfoSize = sizeof info;
  if (!::GetVersionExA(&info)) return "unknown";
  char text[64];
  std::snprintf(text, sizeof text, "%lu.%lu.%lu", info.dwMajorVersion, info.dwMinorVersion, info.dwBuildNumber);
  return text;
}

std::string KeyFingerprint(const std::string& key) {
  crypto::Sha256Digest digest{};
  if (!crypto::Sha256(key.data(), key.size(), digest)) return "not hashed";
  return crypto::EncodeHex(digest.data(), 8);
}

// Each key line of the build's list by its fingerprint: the active one, then those kept offline.
std::string KeysFingerprints(const std::string& keys) {
  std::vector<std::string> lines;
  size_t at = 0;
  while ((at = keys.find_first_not_of(" \t,", at)) != std::string::npos) {
    const size_t end = keys.find_first_of(" \t,", at);
    lines.push_back(keys.substr(at, end == std::string::npos ? std::string::npos : end - at));
    at = end;
  }
  if (lines.empty()) return "none (unsigned documents accepted)";
  std::string text = KeyFingerprint(lines[0]);
  for (size_t i = 1; i < lines.size(); ++i) text += (i == 1 ? " (kept offline: " : ", ") + KeyFingerprint(lines[i]);
  return lines.size() > 1 ? text + ")" : text;
}

std::string FreeSpace(const std::string& folder) {
  char volume[MAX_PATH] = {};
  if (!::GetVolumePathNameA((folder + "\\").c_str(), volume, MAX_PATH)) return "unknown";
  ULARGE_INTEGER available = {};
  if (!::GetDiskFreeSpaceExA(volume, &available, nullptr, nullptr)) return std::string("unknown on ") + volume;
  return std::string(volume) + ": " + std::to_string(available.QuadPart >> 20) + " MB";
}

}  // namespace

std::string DescribeRunStart(const std::string& strCommandLine, const std::string& strReleasePublicKey,
                             const std::string& strInstallFolder) {
  return std::string("Run: TalvoUpdate ") + TALVO_VERSION_TEXT + " " + BuildName() + ", Windows " + WindowsVersion() +
         ", command line \"" + strCommandLine + "\", release key " + KeysFingerprints(strReleasePublicKey) +
         ", free on " + FreeSpace(strInstallFolder);
}
