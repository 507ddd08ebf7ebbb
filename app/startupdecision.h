// What the start-up decides once the catalogue is read: which main-program build applies, which
// components are outdated, and whether the update dialog is shown. No system calls, so the
// rules are tested without Windows and without a server.
#pragma once
#include <functional>
#include <string>

#include "catalogue/componentkind.h"

// Family codes of GetOSType.
constexpr unsigned kOSTypeUnknown = 0;       // GetVersionExA failed twice
constexpr unsigned kOSTypeNT = 0x105;        // VER_PLATFORM_WIN32_NT
constexpr unsigned kOSTypeWin9x = 0xa04;     // VER_PLATFORM_WIN32_WINDOWS
constexpr unsigned kOSTypeOtherPlatform = 4; // any other platform id

// The family code for a GetVersionExA platform id.
unsigned OSTypeFromPlatformId(unsigned long platformId);


// Compares each standard component kind (the client program in the build `osType` selects),
// each outdated when the installed text sorts lower.
UpdateFlags ComputeUpdateFlags(const InstalledVersions& installed, const OfferedVersions& offered,
                               unsigned osType);

// One line for the log: each kind's installed and offered version and whether it is outdated, e.g.
// "Update decision: program '3.35' < '3.41' outdated, login control '1.0' = '1.0', ...". The
// offer shown is the build osType selects.
std::string DescribeUpdateDecision(const InstalledVersions& installed, const OfferedVersions& offered,
                                   const UpdateFlags& flags, unsigned osType);

// Outside the rollout share of a release the installation keeps what it has: an outdated
// component it has is not offered; one it does not have at all (empty installed version) still is.
UpdateFlags HoldBackOutsideShare(const UpdateFlags& flags, const InstalledVersions& installed);

// The dialog is shown only when something is outdated, the document committed at least one
// extra project, and the main program is not outdated while the client runs. `isClientRunning`
// is asked only when that last point matters.
bool ShouldShowUpdateDialog(const UpdateFlags& flags, size_t etcProjectCount,
                            const std::function<bool()>& isClientRunning);
