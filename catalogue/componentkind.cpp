#include "catalogue/componentkind.h"

namespace {

using D = CProjectData;
using I = InstalledVersions;
using O = OfferedVersions;
using F = UpdateFlags;

const ComponentKindRow kRows[kStandardComponentKinds] = {
    {KIND_CLIENT_PROGRAM, "program", "Talvo Ver ", 0, "Ver", true, false, &I::strVersion, &O::strXPVersion,
     &O::str98Version, &F::bUpdateProgram, &D::GetXPVersion, &D::Get98Version, &D::GetXPDownloadUrl,
     &D::Get98DownloadUrl, &D::GetXPDownloadPin, &D::Get98DownloadPin, &D::GetXPCompulsion, &D::Get98Compulsion},
    {KIND_LOGIN_CONTROL, "login control", "로그인 엔진 Ver ", 0, "LogOcx", true, true, &I::strLoginOcxVersion,
     &O::strOcxVersion, &O::strOcxVersion, &F::bUpdateLoginOcx, &D::GetOcxVersion, &D::GetOcxVersion,
     &D::GetOcxDownloadUrl, &D::GetOcxDownloadUrl, &D::GetOcxDownloadPin, &D::GetOcxDownloadPin,
     &D::GetOcxCompulsion, &D::GetOcxCompulsion},
    {KIND_FILTER_DATA, "filter data", "검색어 필터 Ver ", 1, nullptr, false, false, &I::strDatVersion,
     &O::strDatVersion, &O::strDatVersion, &F::bUpdateDat, &D::GetDatVersion, &D::GetDatVersion,
     &D::GetDatDownloadUrl, &D::GetDatDownloadUrl, &D::GetDatDownloadPin, &D::GetDatDownloadPin,
     &D::GetDatCompulsion, &D::GetDatCompulsion},
    {KIND_SERVER_LIST, "server list", "서버 리스트 Ver ", 2, "VerList", true, false, &I::strServerListVersion,
     &O::strServerVersion, &O::strServerVersion, &F::bUpdateServerList, &D::GetServerVersion,
     &D::GetServerVersion, &D::GetServerDownloadUrl, &D::GetServerDownloadUrl, &D::GetServerDownloadPin,
     &D::GetServerDownloadPin, &D::GetServerCompulsion, &D::GetServerCompulsion},
    {KIND_OPTION_SETTINGS, "options", "최적화 옵션 Ver ", 0, "Options", false, false, &I::strOptionsVersion,
     &O::strOptionsVersion, &O::strOptionsVersion, &F::bUpdateOptions, &D::GetOptionsVersion,
     &D::GetOptionsVersion, nullptr, nullptr, nullptr, nullptr, &D::GetOptionCompulsion, &D::GetOptionCompulsion},
};

}  // namespace

std::string ComponentKindRow::UrlIn(const CProjectData& data, bool bXP) const {
  const auto getter = bXP ? pUrlXP : pUrl98;
  return getter ? (data.*getter)() : std::string();
}

PackagePin ComponentKindRow::PinIn(const CProjectData& data, bool bXP) const {
  const auto getter = bXP ? pPinXP : pPin98;
  return getter ? (data.*getter)() : PackagePin();
}

const ComponentKindRow (&StandardComponentKinds())[kStandardComponentKinds] { return kRows; }

const ComponentKindRow* FindComponentKind(int nKind) {
  for (const ComponentKindRow& row : kRows)
    if (row.nKind == nKind) return &row;
  return nullptr;
}

OfferedVersions ReadOfferedVersions(const CProjectData& data) {
  OfferedVersions offered;
  for (const ComponentKindRow& row : kRows) {
    offered.*row.pOfferedXP = row.VersionIn(data, true);
    offered.*row.pOffered98 = row.VersionIn(data, false);
  }
  return offered;
}
