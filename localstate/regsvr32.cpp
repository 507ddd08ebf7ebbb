#include "localstate/regsvr32.h"

#include <shellapi.h>

#include "framework/scopedhandle.h"

BOOL StartRegsvr32(const std::string& strParameters) {
  return reinterpret_cast<INT_PTR>(
             ::ShellExecuteA(nullptr, "open", "regsvr32", strParameters.c_str(), nullptr, SW_HIDE)) > 32;
}

BOOL RunRegsvr32(const std::string& strParameters, DWORD nTimeoutMs) {
  SHELLEXECUTEINFOA info = {};
  info.cbSize = sizeof info;
  info.fMask = SEE_MASK_NOCLOSEPROCESS | SEE_MASK_FLAG_NO_UI;
  info.lpVerb = "open";
  info.lpFile = "regsvr32";
  info.lpParameters = strParameters.c_str();
  info.nShow = SW_HIDE;
  if (!::ShellExecuteExA(&info) || !info.hProcess) return FALSE;
  framework::UniqueHandle process(info.hProcess);
  return ::WaitForSingleObject(process.Get(), nTimeoutMs) == WAIT_OBJECT_0;
}
