#include "app/startupdecision.h"

#include "catalogue/versiontext.h"

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

std::string DescribeUpdateDecision(const InstalledVersions& installed, const OfferedVersions& offered,
                                   const UpdateFlags& flags, unsigned osType) {
  const bool bXP = SelectsXPBuild(osType);
  std::string line = "Update decision:";
  const char* separator = " ";
  for (const ComponentKindRow& row : StandardComponentKinds()) {
    const std::string& have = installed.*row.pInstalled;
    const std::string& offer = row.Offered(offered, bXP);
    const bool bOutdated = flags.*row.pOutdated;
    line += separator;
    line += std::string(row.szLogName) + " '" + have + "' " + (bOutdated ? "<" : have == offer ? "=" : ">=") + " '" +
            offer + "'" + (bOutdated ? " outdated" : "");
    separator = ", ";
  }
  return line;
}

bool ShouldShowUpdateDialog(const UpdateFlags& flags, size_t etcProjectCount,
                            const std::function<bool()>& isClientRunning) {
  if (!flags.AnyUpdate()) return false;
  if (etcProjectCount == 0) return false;
  // A running client holds its program file open; replacing it now would fail half-way.
  if (flags.bUpdateProgram && isClientRunning()) return false;
  return true;
}

UpdateFlags HoldBackOutsideShare(const UpdateFlags& flags, const InstalledVersions& installed) {
  UpdateFlags held = flags;
  held.bUpdateProgram = flags.bUpdateProgram && installed.strVersion.empty();
  held.bUpdateLoginOcx = flags.bUpdateLoginOcx && installed.strLoginOcxVersion.empty();
  held.bUpdateServerList = flags.bUpdateServerList && installed.strServerListVersion.empty();
  held.bUpdateDat = flags.bUpdateDat && installed.strDatVersion.empty();
  held.bUpdateOptions = flags.bUpdateOptions && installed.strOptionsVersion.empty();
  held.bOptionBackup = flags.bOptionBackup && held.bUpdateProgram;
  return held;
}
