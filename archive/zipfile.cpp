#include "archive/zipfile.h"

#include <zlib.h>

#include <algorithm>
#include <cassert>
#include <cstring>
#include <new>
#include <utility>
#include <vector>

#include "safename/safename.h"

namespace {

const uint32_t kEndRecordSize = 22;
const uint32_t kCentralHeaderSize = 46;
const uint32_t kLocalHeaderSize = 30;

uint32_t Get16(const unsigned char* p) { return p[0] | (p[1] << 8); }
uint32_t Get32(const unsigned char* p) {
  return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<uint32_t>(p[3]) << 24);
}
bool HasSignature(const unsigned char* p, unsigned char kind1, unsigned char kind2) {
  return p[0] == 0x50 && p[1] == 0x4B && p[2] == kind1 && p[3] == kind2;
}

}  // namespace

const char* DescribeZipFailure(ZipFailure failure) {
  switch (failure) {
    case ZipFailure::kNone: return "no failure";
    case ZipFailure::kOpenArchive: return "cannot open the archive file";
    case ZipFailure::kReadArchive: return "cannot read the archive";
    case ZipFailure::kNoEndRecord: return "no end of central directory record in the last 4096 bytes";
    case ZipFailure::kBadDirectory: return "broken central directory";
    case ZipFailure::kNoEntries: return "the archive has no entries";
    case ZipFailure::kUnsafeName: return "unsafe entry name (it would leave the target folder)";
    case ZipFailure::kFolderEntry: return "folder entry (folders are not created)";
    case ZipFailure::kCreateOutput: return "cannot create the output file (it exists, or its folder is missing)";
    case ZipFailure::kBadLocalHeader: return "broken local header";
    case ZipFailure::kUnsupportedMethod: return "unsupported compression method";
    case ZipFailure::kSizeMismatch: return "stored entry whose sizes differ";
    case ZipFailure::kDataOutOfBounds: return "entry data overlaps another entry or lies outside the archive";
    case ZipFailure::kInflateStart: return "cannot start inflating";
    case ZipFailure::kBadData: return "corrupt compressed data";
    case ZipFailure::kTruncatedData: return "data ends before the recorded size";
    case ZipFailure::kOversizeData: return "data exceeds the recorded size";
    case ZipFailure::kCrcMismatch: return "CRC-32 mismatch";
    case ZipFailure::kWriteOutput: return "cannot write the output file";
    case ZipFailure::kNoMemory: return "out of memory";
  }
  return "unknown failure";
}

// ---------------------------------------------------------------------------------------------
// CZipFile

CZipFile::CZipFile(filelayer::FileHandle hFile)
    : m_bAttached(FALSE), m_hFile(filelayer::kInvalidFile), m_nCount(0) {
  if (hFile != filelayer::kInvalidFile) Attach(hFile);
}

CZipFile::~CZipFile() { Close(); }

BOOL CZipFile::Open(const std::string& strPath) {
  Close();
  m_bAttached = FALSE;
  m_nFailure = ZipFailure::kNone;
  m_hFile = filelayer::OpenForReading(strPath);
  if (m_hFile == filelayer::kInvalidFile) return Fail(ZipFailure::kOpenArchive);
  if (!ReadDirectory()) {
    Close();
    return FALSE;
  }
  return TRUE;
}

BOOL CZipFile::Attach(filelayer::FileHandle hFile) {
  assert(hFile != filelayer::kInvalidFile);
  Close();
  m_nFailure = ZipFailure::kNone;
  if (hFile == filelayer::kInvalidFile) return Fail(ZipFailure::kOpenArchive);
  m_bAttached = TRUE;
  m_hFile = hFile;
  if (!ReadDirectory()) {
    Close();
    return FALSE;
  }
  return TRUE;
}

void CZipFile::Close() {
  if (m_hFile != filelayer::kInvalidFile && !m_bAttached) filelayer::CloseFile(m_hFile);
  m_hFile = filelayer::kInvalidFile;
  m_pEntries.reset();
  m_nCount = 0;
  m_pInBuffer.reset();
  m_pOutBuffer.reset();
}

CZipEntry* CZipFile::GetEntry(int nIndex) {
  if (nIndex < 0 || nIndex >= m_nCount) return nullptr;
  return &m_pEntries[nIndex];
}

BOOL CZipFile::ReadDirectory() {
  uint64_t nFileSize = 0;
  if (!filelayer::GetFileSize64(m_hFile, &nFileSize)) return Fail(ZipFailure::kReadArchive);

  // The end record lies in the last 4096 bytes. The tail is read from an explicit position, so
  // an attached handle is read the same wherever its owner left the file pointer.
  uint64_t nTailStart = nFileSize > kTailSize ? nFileSize - kTailSize : 0;
  unsigned char pBuffer[kTailSize];
  uint32_t nBuffer = 0;
  if (!filelayer::SeekFromStart(m_hFile, nTailStart) ||
      !filelayer::ReadBytes(m_hFile, pBuffer, kTailSize, &nBuffer))
    return Fail(ZipFailure::kReadArchive);
  if (nBuffer < kEndRecordSize) return Fail(ZipFailure::kNoEndRecord);
  const unsigned char* pEnd = nullptr;
  for (uint32_t i = nBuffer - kEndRecordSize + 1; i-- > 0;) {
    if (HasSignature(pBuffer + i, 0x05, 0x06)) {
      pEnd = pBuffer + i;
      break;
    }
  }
  if (!pEnd) return Fail(ZipFailure::kNoEndRecord);
  const uint64_t nEndRecordPos = nTailStart + static_cast<uint64_t>(pEnd - pBuffer);
  const uint32_t nEntries = Get16(pEnd + 10);
  const uint32_t nDirectorySize = Get32(pEnd + 12);
  const uint32_t nDirectoryOffset = Get32(pEnd + 16);

  // The directory must lie before its end record, and its bytes must be able to hold the entry
  // count the end record claims; that also bounds what a tiny hostile file can make us allocate.
  if (static_cast<uint64_t>(nDirectoryOffset) + nDirectorySize > nEndRecordPos)
    return Fail(ZipFailure::kBadDirectory);
  if (nEntries == 0) return Fail(ZipFailure::kNoEntries);
  if (nEntries > nDirectorySize / kCentralHeaderSize) return Fail(ZipFailure::kBadDirectory);
  if (!filelayer::SeekFromStart(m_hFile, nDirectoryOffset)) return Fail(ZipFailure::kReadArchive);

  std::unique_ptr<unsigned char[]> pDirectory(new (std::nothrow) unsigned char[nDirectorySize]);
  if (!pDirectory) return Fail(ZipFailure::kNoMemory);
  uint32_t nRead = 0;
  if (!filelayer::ReadBytes(m_hFile, pDirectory.get(), nDirectorySize, &nRead) ||
      nRead != nDirectorySize)
    return Fail(ZipFailure::kReadArchive);

  try {
    m_pEntries.reset(new CZipEntry[nEntries]);
    m_nCount = static_cast<int>(nEntries);
    if (!ParseDirectory(pDirectory.get(), nDirectorySize)) {
      m_pEntries.reset();
      m_nCount = 0;
      return Fail(ZipFailure::kBadDirectory);
    }
    SetDataLimits(nDirectoryOffset, nFileSize);
  } catch (const std::bad_alloc&) {
    m_pEntries.reset();
    m_nCount = 0;
    return Fail(ZipFailure::kNoMemory);
  }
  return m_nCount > 0 ? TRUE : Fail(ZipFailure::kNoEntries);
}

BOOL CZipFile::ParseDirectory(const unsigned char* pData, uint64_t nLength) {
  const unsigned char* p = pData;
  uint64_t nLeft = nLength;
  for (int i = 0; i < m_nCount; ++i) {
    if (nLeft < kCentralHeaderSize || !HasSignature(p, 0x01, 0x02)) return FALSE;
    const uint32_t n = Get16(p + 28);
    const uint32_t e = Get16(p + 30);
    const uint32_t c = Get16(p + 32);
    if (nLeft - kCentralHeaderSize < static_cast<uint64_t>(n) + e + c) return FALSE;

    CZipEntry& entry = m_pEntries[i];
    entry.m_pZip = this;
    entry.m_nMethod = Get16(p + 10);
    entry.m_nCrc32 = Get32(p + 16);
    entry.m_nCompressedSize = Get32(p + 20);
    entry.m_nSize = Get32(p + 24);
    entry.m_nOffset = Get32(p + 42);
    entry.m_strName.assign(reinterpret_cast<const char*>(p + kCentralHeaderSize), n);
    std::replace(entry.m_strName.begin(), entry.m_strName.end(), '\\', '/');

    p += kCentralHeaderSize + n + e + c;
    nLeft -= kCentralHeaderSize + n + e + c;
  }
  return TRUE;
}

// Each entry may use the archive from its local header up to the next thing that starts after
// it. Entries sharing a local header get no room at all: that is how overlapping-entry zip bombs
// make a few kilobytes claim gigabytes.
void CZipFile::SetDataLimits(uint64_t nDirectoryOffset, uint64_t nFileSize) {
  std::vector<std::pair<uint64_t, int>> order;
  order.reserve(m_nCount);
  for (int i = 0; i < m_nCount; ++i) order.emplace_back(m_pEntries[i].m_nOffset, i);
  std::sort(order.begin(), order.end());
  for (size_t k = 0; k < order.size(); ++k) {
    const uint64_t nOffset = order[k].first;
    uint64_t nLimit = nFileSize;
    if (nDirectoryOffset > nOffset) nLimit = std::min<uint64_t>(nLimit, nDirectoryOffset);
    if (k + 1 < order.size()) nLimit = std::min(nLimit, order[k + 1].first);
    if (k > 0 && order[k - 1].first == nOffset) nLimit = nOffset;
    m_pEntries[order[k].second].m_nDataLimit = nLimit;
  }
}

BOOL CZipFile::SeekToData(CZipEntry* pEntry) {
  assert(pEntry && pEntry->m_pZip == this);
  if (m_hFile == filelayer::kInvalidFile) return Fail(ZipFailure::kReadArchive);
  if (!filelayer::SeekFromStart(m_hFile, pEntry->m_nOffset)) return Fail(ZipFailure::kReadArchive);
  unsigned char pLocal[kLocalHeaderSize];
  uint32_t nRead = 0;
  if (!filelayer::ReadBytes(m_hFile, pLocal, kLocalHeaderSize, &nRead))
    return Fail(ZipFailure::kReadArchive);
  if (nRead != kLocalHeaderSize || !HasSignature(pLocal, 0x03, 0x04))
    return Fail(ZipFailure::kBadLocalHeader);
  const uint32_t nLocalMethod = Get16(pLocal + 8);
  if (nLocalMethod != 0 && nLocalMethod != 8) return Fail(ZipFailure::kUnsupportedMethod);
  const uint64_t nDataStart = pEntry->m_nOffset + kLocalHeaderSize + Get16(pLocal + 26) + Get16(pLocal + 28);
  if (nDataStart + pEntry->m_nCompressedSize > pEntry->m_nDataLimit)
    return Fail(ZipFailure::kDataOutOfBounds);
  if (!filelayer::SeekFromStart(m_hFile, nDataStart)) return Fail(ZipFailure::kReadArchive);
  return TRUE;
}

// ---------------------------------------------------------------------------------------------
// CZipEntry

BOOL CZipEntry::InitStream(z_stream* pStream) {
  std::memset(pStream, 0, sizeof(*pStream));
  if (!m_pZip->SeekToData(this)) return FALSE;
  if (m_nMethod == 0)
    return m_nSize == m_nCompressedSize ? TRUE : m_pZip->Fail(ZipFailure::kSizeMismatch);
  if (inflateInit2(pStream, -MAX_WBITS) != Z_OK) return m_pZip->Fail(ZipFailure::kInflateStart);
  return TRUE;
}

BOOL CZipEntry::ExtractTo(const std::string& strPath) {
  CZipFile* pZip = m_pZip;
  assert(pZip);
  if (!pZip) return FALSE;
  pZip->m_nFailure = ZipFailure::kNone;
  // Checked before anything is created: a hostile name must not touch the disk at all.
  if (!IsSafeRelativePath(m_strName)) return pZip->Fail(ZipFailure::kUnsafeName);
  if (m_strName.back() == '/') return pZip->Fail(ZipFailure::kFolderEntry);
  if (!pZip->m_pInBuffer) pZip->m_pInBuffer.reset(new (std::nothrow) unsigned char[CZipFile::kInputBufferSize]);
  if (!pZip->m_pOutBuffer) pZip->m_pOutBuffer.reset(new (std::nothrow) unsigned char[CZipFile::kOutputBufferSize]);
  if (!pZip->m_pInBuffer || !pZip->m_pOutBuffer) return pZip->Fail(ZipFailure::kNoMemory);

  filelayer::UniqueFile out(filelayer::CreateNewFile(strPath));
  if (!out.IsValid()) return pZip->Fail(ZipFailure::kCreateOutput);

  z_stream stream;
  ZipFailure failure = ZipFailure::kNone;
  if (!InitStream(&stream)) {
    failure = pZip->m_nFailure;
  } else if (m_nMethod == 0) {
    failure = CopyStored(out.Get());
  } else {
    failure = Inflate(&stream, out.Get());
    inflateEnd(&stream);
  }
  out.Reset();
  if (failure != ZipFailure::kNone) {
    filelayer::DeleteNamedFile(strPath);
    return pZip->Fail(failure);
  }
  return TRUE;
}

ZipFailure CZipEntry::WriteChecked(filelayer::FileHandle hOut, const unsigned char* pData,
                                   uint32_t nData, uint32_t* pCrc) {
  *pCrc = static_cast<uint32_t>(crc32(*pCrc, pData, nData));
  uint32_t nWrite = 0;
  if (!filelayer::WriteBytes(hOut, pData, nData, &nWrite) || nWrite != nData)
    return ZipFailure::kWriteOutput;
  return ZipFailure::kNone;
}

ZipFailure CZipEntry::CopyStored(filelayer::FileHandle hOut) {
  unsigned char* pBuffer = m_pZip->m_pOutBuffer.get();
  uint32_t nCrc = 0;
  uint64_t nWritten = 0;
  while (nWritten < m_nSize) {
    const uint32_t nChunk = static_cast<uint32_t>(
        std::min<uint64_t>(m_nSize - nWritten, CZipFile::kOutputBufferSize));
    uint32_t nProcess = 0;
    if (!filelayer::ReadBytes(m_pZip->m_hFile, pBuffer, nChunk, &nProcess) || nProcess != nChunk)
      return ZipFailure::kReadArchive;
    ZipFailure failure = WriteChecked(hOut, pBuffer, nChunk, &nCrc);
    if (failure != ZipFailure::kNone) return failure;
    nWritten += nChunk;
  }
  return nCrc == m_nCrc32 ? ZipFailure::kNone : ZipFailure::kCrcMismatch;
}

ZipFailure CZipEntry::Inflate(z_stream* pStream, filelayer::FileHandle hOut) {
  unsigned char* pIn = m_pZip->m_pInBuffer.get();
  unsigned char* pOut = m_pZip->m_pOutBuffer.get();
  uint32_t nCrc = 0;
  uint64_t nCompressedRead = 0;
  uint64_t nWritten = 0;
  // Some writers record an empty file as a deflated entry without any data.
  if (m_nCompressedSize == 0 && m_nSize == 0)
    return m_nCrc32 == 0 ? ZipFailure::kNone : ZipFailure::kCrcMismatch;

  for (;;) {
    if (pStream->avail_in == 0 && nCompressedRead < m_nCompressedSize) {
      const uint32_t nChunk = static_cast<uint32_t>(
          std::min<uint64_t>(m_nCompressedSize - nCompressedRead, CZipFile::kInputBufferSize));
      uint32_t nRead = 0;
      if (!filelayer::ReadBytes(m_pZip->m_hFile, pIn, nChunk, &nRead) || nRead != nChunk)
        return ZipFailure::kReadArchive;
      nCompressedRead += nChunk;
      pStream->next_in = pIn;
      pStream->avail_in = nChunk;
    }
    const uInt nInBefore = pStream->avail_in;
    pStream->next_out = pOut;
    pStream->avail_out = CZipFile::kOutputBufferSize;
    const int nResult = inflate(pStream, Z_SYNC_FLUSH);
    const uint32_t nProduced = CZipFile::kOutputBufferSize - pStream->avail_out;
    // Never write past the recorded size: more output means the directory lied.
    if (nProduced > m_nSize - nWritten) return ZipFailure::kOversizeData;
    if (nProduced > 0) {
      ZipFailure failure = WriteChecked(hOut, pOut, nProduced, &nCrc);
      if (failure != ZipFailure::kNone) return failure;
      nWritten += nProduced;
    }
    if (nResult == Z_STREAM_END) break;
    if (nResult != Z_OK && nResult != Z_BUF_ERROR) return ZipFailure::kBadData;
    // No progress: the recorded compressed data ended before the deflate stream did.
    if (nProduced == 0 && pStream->avail_in == nInBefore) return ZipFailure::kTruncatedData;
  }
  if (nWritten != m_nSize) return ZipFailure::kTruncatedData;
  return nCrc == m_nCrc32 ? ZipFailure::kNone : ZipFailure::kCrcMismatch;
}
