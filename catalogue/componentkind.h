// The standard component kinds, one row each: where the catalogue offers a kind, how it is
// compared with what is installed, how the update window lists it and how its install step
// records it. A new kind is a new row (and a new ComponentKind).
#pragma once
#include <string>

#include "catalogue/packagepin.h"
#include "catalogue/projectdata.h"

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

// The client program's XP build is offered to family codes 4, 5 and 0x105 (GetOSType), the 98
// build to every other.
inline bool SelectsXPBuild(unsigned osType) { return osType == 4 || osType == 5 || osType == 0x105; }

struct ComponentKindRow {
  ComponentKind nKind;
  const char* szLogName;  // in the start-up's log line
  const char* szLabel;    // the list row's text before the version
  int nImage;             // the list row's image
  // The registry value (prefix + project name) that holds the installed version, or null where
  // the version is kept elsewhere (the filter data's file).
  const char* szVersionValue;
  bool bRecordedByInstallStep;  // the install step records the version (options: their writer)
  bool bRegistersControl;       // the install step registers the login control
  std::string InstalledVersions::*pInstalled;
  // The document's offer; the client program has an XP and a 98 build, the rest one.
  std::string OfferedVersions::*pOfferedXP;
  std::string OfferedVersions::*pOffered98;
  bool UpdateFlags::*pOutdated;
  std::string (CProjectData::*pVersionXP)() const;
  std::string (CProjectData::*pVersion98)() const;
  std::string (CProjectData::*pUrlXP)() const;  // null: no package (the options)
  std::string (CProjectData::*pUrl98)() const;
  PackagePin (CProjectData::*pPinXP)() const;
  PackagePin (CProjectData::*pPin98)() const;
  std::string (CProjectData::*pCompulsionXP)() const;
  std::string (CProjectData::*pCompulsion98)() const;

  std::string Offered(const OfferedVersions& offered, bool bXP) const { return offered.*(bXP ? pOfferedXP : pOffered98); }
  std::string VersionIn(const CProjectData& data, bool bXP) const { return (data.*(bXP ? pVersionXP : pVersion98))(); }
  std::string UrlIn(const CProjectData& data, bool bXP) const;
  PackagePin PinIn(const CProjectData& data, bool bXP) const;
  std::string CompulsionIn(const CProjectData& data, bool bXP) const {
    return (data.*(bXP ? pCompulsionXP : pCompulsion98))();
  }
};

// In the update window's order: client program, login control, filter data, server list, options.
constexpr size_t kStandardComponentKinds = 5;
const ComponentKindRow (&StandardComponentKinds())[kStandardComponentKinds];
// The row of a standard kind, or null (extra projects).
const ComponentKindRow* FindComponentKind(int nKind);
// The document's offers, read through each row.
OfferedVersions ReadOfferedVersions(const CProjectData& data);
