// Host (POSIX) back end of the file layer, with the Win32 back end's meaning.
#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "archive/filelayer.h"

namespace filelayer {

FileHandle OpenForReading(const std::string& path) {
  // Non-blocking so that a FIFO cannot hang the open; only regular files are archives.
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) return kInvalidFile;
  struct stat st;
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) ||
      ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK) != 0) {
    ::close(fd);
    return kInvalidFile;
  }
  return fd;
}

FileHandle CreateNewFile(const std::string& path) {
  // O_EXCL also refuses to follow a symbolic link planted at the path.
  int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
  return fd < 0 ? kInvalidFile : fd;
}

void CloseFile(FileHandle hFile) { ::close(hFile); }

bool DeleteNamedFile(const std::string& path) { return ::unlink(path.c_str()) == 0; }

bool GetFileSize64(FileHandle hFile, uint64_t* pSize) {
  struct stat st;
  if (::fstat(hFile, &st) != 0 || st.st_size < 0) return false;
  *pSize = static_cast<uint64_t>(st.st_size);
  return true;
}

bool SeekFromStart(FileHandle hFile, uint64_t offset) {
  if (offset > static_cast<uint64_t>(INT64_MAX)) return false;
  off_t pos = ::lseek(hFile, static_cast<off_t>(offset), SEEK_SET);
  return pos >= 0 && static_cast<uint64_t>(pos) == offset;
}

bool ReadBytes(FileHandle hFile, void* pBuffer, uint32_t count, uint32_t* pRead) {
  uint32_t done = 0;
  while (done < count) {
    ssize_t n = ::read(hFile, static_cast<char*>(pBuffer) + done, count - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      *pRead = done;
      return false;
    }
    if (n == 0) break;
    done += static_cast<uint32_t>(n);
  }
  *pRead = done;
  return true;
}

bool WriteBytes(FileHandle hFile, const void* pBuffer, uint32_t count, uint32_t* pWritten) {
  uint32_t done = 0;
  while (done < count) {
    ssize_t n = ::write(hFile, static_cast<const char*>(pBuffer) + done, count - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      *pWritten = done;
      return false;
    }
    done += static_cast<uint32_t>(n);
  }
  *pWritten = done;
  return true;
}

}  // namespace filelayer
