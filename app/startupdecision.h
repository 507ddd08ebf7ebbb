// What the start-up decides once the catalogue is read: which main-program build applies, which
// components are outdated, and whether the update dialog is shown. No system calls, so the
// rules are tested without Windows and without a server.
#pragma once
#include <functional>
#include <string>

// Family codes of GetOSType.
constexpr unsigned kOSTypeUnknown = 0;       // GetVersionExA failed twice
constexpr unsigned kOSTypeNT = 0x105;        // VER_PLATFORM_WIN32_NT
constexpr unsigned kOSTypeWin9x = 0xa04;     // VER_PLATFORM_WIN32_WINDOWS
constexpr unsigned kOSTypeOtherPlatform = 4; // any other platform id

// The family code for a GetVersionExA platform id.
unsigned OSTypeFromPlatformId(unsigned long platformId);

// Codes 4, 5 and 0x105 take the XP build ("XP_VERSION"); every other code the 98 build.
bool SelectsXPBuild(unsigned osType);

// What is recorded on this machine, read before any comparison.
struct InstalledVersions {
  std::string strVersion;            // main program
  std::string strDatVersion;         // filter data
  std::string strServerListVersion;  // server list
  std::string strLoginOcxVersion;    // login control
  std::string strOptionsVersion;     // options
};

// What the document offers.
struct OfferedVersions {
  std::string strXPVersion;
  std::string str98Version;
  std::string strOcxVersion;
  std::string strServerVersion;
  std::string strDatVersion;
  std::string strOptionsVersion;
};

struct UpdateFlags {
  bool bUpdateProgram = false;
  bool bUpdateLoginOcx = false;
  bool bUpdateServerList = false;
  bool bUpdateDat = false;
  bool bUpdateOptions = false;
  bool bOptionBackup = false;  // main program outdated and its installed version begins "3.35"

  bool AnyUpdate() const {
    return bUpdateProgram || bUpdateLoginOcx || bUpdateServerList || bUpdateDat || bUpdateOptions;
  }
};

// Compares main program (the build `osType` selects), login control, server list, filter data
// and options, in that order, each outdated when the installed text sorts lower.
UpdateFlags ComputeUpdateFlags(const InstalledVersions& installed, const OfferedVersions& offered,
                               unsigned osType);

// The dialog is shown only when something is outdated, the document committed at least one
// extra project, and the main program is not outdated while the client runs. `isClientRunning`
// is asked only when that last point matters.
bool ShouldShowUpdateDialog(const UpdateFlags& flags, size_t etcProjectCount,
                            const std::function<bool()>& isClientRunning);
