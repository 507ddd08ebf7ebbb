#include "app/startupdecision.h"

#include "app/versiontext.h"

unsigned OSTypeFromPlatformId(unsigned long platformId) {
  switch (platformId) {
    case 1: return kOSTypeWin9x;
    case 2: return kOSTypeNT;
    default: return kOSTypeOtherPlatform;
  }
}


UpdateFlags ComputeUpdateFlags(const InstalledVersions& installed, const OfferedVersions& offered,
                               unsigned osType) {
  UpdateFlags flags;
  const bool bXP = SelectsXPBuild(osType);
  for (const ComponentKindRow& row : StandardComponentKinds())
    flags.*row.pOutdated = IsVersionLower(installed.*row.pInstalled, row.Offered(offered, bXP));
  // Clients of the 3.35 line keep an option file the new build cannot read; it is moved aside.
  flags.bOptionBackup = flags.bUpdateProgram && installed.strVersion.substr(0, 4) == "3.35";
  return flags;
}

bool ShouldShowUpdateDialog(const UpdateFlags& flags, size_t etcProjectCount,
                            const std::function<bool()>& isClientRunning) {
  if (!flags.AnyUpdate()) return false;
  if (etcProjectCount == 0) return false;
  // A running client holds its program file open; replacing it now would fail half-way.
  if (flags.bUpdateProgram && isClientRunning()) return false;
  return true;
}
