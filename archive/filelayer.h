// The few file operations the zip reader needs. On Windows they are the Win32 calls the updater
// has always used; on the host they are POSIX calls, so the reader's handling of hostile archives
// can be built, tested and fuzzed natively. Nothing here allocates.
#pragma once
#include <cstdint>
#include <string>

#ifdef _WIN32
#include <windows.h>
#endif

namespace filelayer {

#ifdef _WIN32
using FileHandle = HANDLE;
inline const FileHandle kInvalidFile = INVALID_HANDLE_VALUE;
#else
using FileHandle = int;
inline const FileHandle kInvalidFile = -1;
#endif

// Opens an existing regular file for reading (others may read it too).
FileHandle OpenForReading(const std::string& path);
// Creates a file that must not exist yet, for writing, shared with nobody.
FileHandle CreateNewFile(const std::string& path);
void CloseFile(FileHandle hFile);
// False when the file could not be deleted (or did not exist).
bool DeleteNamedFile(const std::string& path);

bool GetFileSize64(FileHandle hFile, uint64_t* pSize);
// True only when the file pointer ends up exactly at `offset` from the start.
bool SeekFromStart(FileHandle hFile, uint64_t offset);
// Reads up to `count` bytes; *pRead is less than `count` only at the end of the file.
bool ReadBytes(FileHandle hFile, void* pBuffer, uint32_t count, uint32_t* pRead);
// Writes `count` bytes; *pWritten is less than `count` only when the write failed part-way.
bool WriteBytes(FileHandle hFile, const void* pBuffer, uint32_t count, uint32_t* pWritten);

// Owns one open file handle.
class UniqueFile {
 public:
  UniqueFile() = default;
  explicit UniqueFile(FileHandle hFile) : m_hFile(hFile) {}
  ~UniqueFile() { Reset(); }
  UniqueFile(const UniqueFile&) = delete;
  UniqueFile& operator=(const UniqueFile&) = delete;

  FileHandle Get() const { return m_hFile; }
  bool IsValid() const { return m_hFile != kInvalidFile; }
  void Reset() {
    if (m_hFile != kInvalidFile) CloseFile(m_hFile);
    m_hFile = kInvalidFile;
  }

 private:
  FileHandle m_hFile = kInvalidFile;
};

}  // namespace filelayer
