#include "framework/wholefile.h"

#include "framework/scopedhandle.h"

namespace framework {

BOOL ReplaceFileWhole(const std::string& strPath, const std::string& bytes, DWORD& dwError) {
  const std::string strTemp = strPath + ".new";
  {
    UniqueHandle file(::CreateFileA(strTemp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                                    nullptr));
    if (!file) {
      dwError = ::GetLastError();
      return FALSE;
    }
    DWORD dwWritten = 0;
    if (!::WriteFile(file.Get(), bytes.data(), static_cast<DWORD>(bytes.size()), &dwWritten, nullptr) ||
        dwWritten != bytes.size() || !::FlushFileBuffers(file.Get())) {
      dwError = ::GetLastError();
      file.Reset();
      ::DeleteFileA(strTemp.c_str());
      return FALSE;
    }
  }
  if (!::MoveFileExA(strTemp.c_str(), strPath.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    dwError = ::GetLastError();
    ::DeleteFileA(strTemp.c_str());
    return FALSE;
  }
  return TRUE;
}

}  // namespace framework
