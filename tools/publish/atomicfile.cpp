#include "tools/publish/atomicfile.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <random>
#include <system_error>

#ifdef _WIN32
#include "framework/scopedhandle.h"
#else
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#endif

namespace fs = std::filesystem;

namespace {

// Hidden, of a fixed length whatever the target's name, and never a name given before.
std::string TemporaryName(std::random_device& random) {
  const uint64_t value = (static_cast<uint64_t>(random()) << 32) ^ random();
  char name[48];
  std::snprintf(name, sizeof name, ".talvo-publish-%016llx.part", static_cast<unsigned long long>(value));
  return name;
}

const int kNameAttempts = 100;

#ifdef _WIN32

std::string Failed(const char* step, DWORD code) {
  return std::string(step) + " failed: " + std::system_category().message(static_cast<int>(code));
}

bool WriteAll(HANDLE file, const std::string& bytes) {
  size_t done = 0;
  while (done < bytes.size()) {
    const DWORD chunk = static_cast<DWORD>(std::min<size_t>(bytes.size() - done, 1u << 30));
    DWORD written = 0;
    if (!::WriteFile(file, bytes.data() + done, chunk, &written, nullptr) || written == 0) return false;
    done += written;
  }
  return true;
}

#else

std::string Failed(const char* step, int code) {
  return std::string(step) + " failed: " + std::generic_category().message(code);
}

// Owns one file descriptor; Close() reports what the system says about the close.
class FileDescriptor {
 public:
  explicit FileDescriptor(int fd) : m_fd(fd) {}
  ~FileDescriptor() {
    if (m_fd >= 0) ::close(m_fd);
  }
  FileDescriptor(const FileDescriptor&) = delete;
  FileDescriptor& operator=(const FileDescriptor&) = delete;

  int Get() const { return m_fd; }
  bool Close() {
    const int fd = m_fd;
    m_fd = -1;
    return ::close(fd) == 0;
  }

 private:
  int m_fd;
};

bool WriteAll(int fd, const std::string& bytes) {
  size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t written = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (written < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    if (written == 0) {
      errno = EIO;
      return false;
    }
    done += static_cast<size_t>(written);
  }
  return true;
}

// The rename reaches the disk with the folder's own entry; a file system that cannot flush a
// folder has nothing more to lose, so this is best effort.
void SyncFolder(const fs::path& folder) {
  FileDescriptor dir(::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (dir.Get() >= 0) ::fsync(dir.Get());
}

#endif

}  // namespace

bool WriteFileAtomically(const fs::path& path, const std::string& bytes, std::string& error) {
  std::error_code ec;
  const fs::path folder = path.parent_path();
  if (!folder.empty()) fs::create_directories(folder, ec);
  if (ec) {
    error = "creating its folder failed: " + ec.message();
    return false;
  }
  std::random_device random;
  for (int attempt = 0; attempt < kNameAttempts; ++attempt) {
    const fs::path temp = folder / TemporaryName(random);
#ifdef _WIN32
    framework::UniqueHandle file(::CreateFileW(temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                               FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) {
      const DWORD code = ::GetLastError();
      if (code == ERROR_FILE_EXISTS || code == ERROR_ALREADY_EXISTS) continue;
      error = Failed("creating a temporary file", code);
      return false;
    }
    const char* step = nullptr;
    if (!WriteAll(file.Get(), bytes)) step = "writing";
    else if (!::FlushFileBuffers(file.Get())) step = "flushing";
    else if (!::CloseHandle(file.Release())) step = "closing";
    else if (!::MoveFileExW(temp.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
      step = "renaming";
    if (step != nullptr) {
      const DWORD code = ::GetLastError();
      file.Reset();
      ::DeleteFileW(temp.c_str());
      error = Failed(step, code);
      return false;
    }
#else
    FileDescriptor file(::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666));
    if (file.Get() < 0) {
      if (errno == EEXIST) continue;
      error = Failed("creating a temporary file", errno);
      return false;
    }
    const char* step = nullptr;
    if (!WriteAll(file.Get(), bytes)) step = "writing";
    else if (::fsync(file.Get()) != 0) step = "flushing";
    else if (!file.Close()) step = "closing";
    else if (::rename(temp.c_str(), path.c_str()) != 0) step = "renaming";
    if (step != nullptr) {
      const int code = errno;
      ::unlink(temp.c_str());
      error = Failed(step, code);
      return false;
    }
    SyncFolder(folder);
#endif
    return true;
  }
  error = "no unused temporary name in " + std::to_string(kNameAttempts) + " attempts";
  return false;
}
