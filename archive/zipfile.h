// Reader of the zip packages the updater downloads: the central directory as a table of entries,
// and any entry written out as a file (stored entries copied, deflated ones inflated).
// No writing, encryption, zip64 or folder creation.
#pragma once
#include <cstdint>
#include <memory>
#include <string>

#include "archive/filelayer.h"

#ifndef _WIN32
typedef int BOOL;
#ifndef TRUE
#define TRUE 1
#endif
#ifndef FALSE
#define FALSE 0
#endif
#endif

typedef struct z_stream_s z_stream;

class CZipFile;

// Why the last operation of a CZipFile (or of one of its entries) failed.
enum class ZipFailure {
  kNone,
  kOpenArchive,
  kReadArchive,
  kNoEndRecord,
  kBadDirectory,
  kNoEntries,
  kUnsafeName,
  kFolderEntry,
  kCreateOutput,
  kBadLocalHeader,
  kUnsupportedMethod,
  kSizeMismatch,
  kDataOutOfBounds,
  kInflateStart,
  kBadData,
  kTruncatedData,
  kOversizeData,
  kCrcMismatch,
  kWriteOutput,
  kNoMemory,
};

// One line of English for logs and the talvo-zip tool.
const char* DescribeZipFailure(ZipFailure failure);

class CZipEntry {
 public:
  CZipFile* m_pZip = nullptr;
  std::string m_strName;  // as stored, byte for byte, with every "\" turned into "/"
  uint64_t m_nSize = 0;
  uint64_t m_nOffset = 0;  // of the local header
  uint64_t m_nCompressedSize = 0;
  uint32_t m_nMethod = 0;  // 0 stored, 8 deflated
  uint32_t m_nCrc32 = 0;
  // End of the span of the archive this entry may occupy: the next local header, the central
  // directory or the end of the file. Data reaching past it overlaps something else.
  uint64_t m_nDataLimit = 0;

  // Writes the entry to a new file at strPath (which must not exist). A failed extraction leaves
  // no file behind. An entry whose name is no safe relative path (see safename.h) is refused
  // before anything is created.
  BOOL ExtractTo(const std::string& strPath);

 private:
  friend class CZipFile;
  BOOL InitStream(z_stream* pStream);
  ZipFailure CopyStored(filelayer::FileHandle hOut);
  ZipFailure Inflate(z_stream* pStream, filelayer::FileHandle hOut);
  ZipFailure WriteChecked(filelayer::FileHandle hOut, const unsigned char* pData, uint32_t nData,
                          uint32_t* pCrc);
};

class CZipFile {
 public:
  static constexpr uint32_t kInputBufferSize = 65536;
  static constexpr uint32_t kOutputBufferSize = 131072;
  static constexpr uint32_t kTailSize = 4096;

  explicit CZipFile(filelayer::FileHandle hFile = filelayer::kInvalidFile);
  ~CZipFile();
  CZipFile(const CZipFile&) = delete;
  CZipFile& operator=(const CZipFile&) = delete;

  BOOL Open(const std::string& strPath);
  // Reads an archive through a handle the caller keeps owning.
  BOOL Attach(filelayer::FileHandle hFile);
  void Close();

  int GetCount() const { return m_nCount; }
  CZipEntry* GetEntry(int nIndex);
  ZipFailure GetLastFailure() const { return m_nFailure; }

 private:
  friend class CZipEntry;
  BOOL ReadDirectory();
  BOOL ParseDirectory(const unsigned char* pData, uint64_t nLength);
  void SetDataLimits(uint64_t nDirectoryOffset, uint64_t nFileSize);
  BOOL SeekToData(CZipEntry* pEntry);
  BOOL Fail(ZipFailure failure) {
    m_nFailure = failure;
    return FALSE;
  }

  BOOL m_bAttached;
  filelayer::FileHandle m_hFile;
  std::unique_ptr<CZipEntry[]> m_pEntries;
  int m_nCount;
  ZipFailure m_nFailure = ZipFailure::kNone;
  // Extraction buffers, made on first use and kept while the archive is open.
  std::unique_ptr<unsigned char[]> m_pInBuffer;
  std::unique_ptr<unsigned char[]> m_pOutBuffer;
};
