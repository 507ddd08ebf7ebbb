// Win32 back end of the file layer.
#include "archive/filelayer.h"

namespace filelayer {

FileHandle OpenForReading(const std::string& path) {
  return ::CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                       FILE_ATTRIBUTE_NORMAL, nullptr);
}

FileHandle CreateNewFile(const std::string& path) {
  return ::CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL,
                       nullptr);
}

void CloseFile(FileHandle hFile) { ::CloseHandle(hFile); }

bool DeleteNamedFile(const std::string& path) { return ::DeleteFileA(path.c_str()) != FALSE; }

bool GetFileSize64(FileHandle hFile, uint64_t* pSize) {
  DWORD high = 0;
  DWORD low = ::GetFileSize(hFile, &high);
  if (low == INVALID_FILE_SIZE && ::GetLastError() != NO_ERROR) return false;
  *pSize = (static_cast<uint64_t>(high) << 32) | low;
  return true;
}

bool SeekFromStart(FileHandle hFile, uint64_t offset) {
  if (offset > 0x7FFFFFFFFFFFFFFFull) return false;
  LONG high = static_cast<LONG>(offset >> 32);
  ::SetLastError(NO_ERROR);
  DWORD low = ::SetFilePointer(hFile, static_cast<LONG>(static_cast<DWORD>(offset)), &high, FILE_BEGIN);
  if (low == INVALID_SET_FILE_POINTER && ::GetLastError() != NO_ERROR) return false;
  return ((static_cast<uint64_t>(static_cast<DWORD>(high)) << 32) | low) == offset;
}

bool ReadBytes(FileHandle hFile, void* pBuffer, uint32_t count, uint32_t* pRead) {
  DWORD nRead = 0;
  BOOL ok = ::ReadFile(hFile, pBuffer, count, &nRead, nullptr);
  *pRead = nRead;
  return ok != FALSE;
}

bool WriteBytes(FileHandle hFile, const void* pBuffer, uint32_t count, uint32_t* pWritten) {
  DWORD nWrite = 0;
  BOOL ok = ::WriteFile(hFile, pBuffer, count, &nWrite, nullptr);
  *pWritten = nWrite;
  return ok != FALSE;
}

}  // namespace filelayer
