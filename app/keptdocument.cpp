#include "app/keptdocument.h"

#include <windows.h>

#include "framework/log.h"
#include "framework/modulepath.h"
#include "framework/scopedhandle.h"
#include "framework/wholefile.h"
#include "net/internetfiledown.h"
#include "safename/updaterfiles.h"

namespace {

// At most `most` bytes of the file; false when it cannot be opened or read, or is longer.
bool ReadWholeFile(const std::string& path, size_t most, std::string& text) {
  framework::UniqueHandle file(::CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                             FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return false;
  text.clear();
  char buffer[16 * 1024];
  DWORD dwRead = 0;
  for (;;) {
    if (!::ReadFile(file.Get(), buffer, sizeof buffer, &dwRead, nullptr)) return false;
    if (dwRead == 0) return true;
    if (text.size() + dwRead > most) return false;
    text.append(buffer, dwRead);
  }
}

}  // namespace

std::string GetLastDocumentPath() { return framework::GetModuleFolder() + "\\" + kLastDocumentName; }

std::string GetDocumentValidatorPath() { return framework::GetModuleFolder() + "\\" + kLastDocumentValidatorName; }

bool ReadKeptDocument(std::string& strDocument, HttpValidator& validator) {
  std::string record;
  HttpValidator kept;
  if (!ReadWholeFile(GetDocumentValidatorPath(), 4096, record) || !kept.ParseRecord(record)) return false;
  std::string text;
  if (!ReadWholeFile(GetLastDocumentPath(), CInternetFileDown::kMaxTextBody, text) || text.empty()) return false;
  strDocument = std::move(text);
  validator = kept;
  return true;
}

void KeepReceivedDocument(const std::string& strDocument) {
  if (!ForgetDocumentValidator()) {
    framework::WriteLog("Information request: %s stays as it was: the validators beside it cannot be removed\n",
                        GetLastDocumentPath().c_str());
    return;
  }
  framework::UniqueHandle file(::CreateFileA(GetLastDocumentPath().c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                             FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return;
  DWORD written = 0;
  ::WriteFile(file.Get(), strDocument.data(), static_cast<DWORD>(strDocument.size()), &written, nullptr);
  // On disk before a validator can vouch for it.
  ::FlushFileBuffers(file.Get());
}

void KeepDocumentValidator(const HttpValidator& validator) {
  if (validator.IsEmpty() || !validator.IsSafe()) {
    ForgetDocumentValidator();
    return;
  }
  const std::string path = GetDocumentValidatorPath();
  DWORD dwError = 0;
  if (!framework::ReplaceFileWhole(path, validator.FormatRecord(), dwError))
    framework::WriteLog("Information request: the document's validators could not be kept in %s (error %lu)\n",
                        path.c_str(), static_cast<unsigned long>(dwError));
}

bool ForgetDocumentValidator() {
  const std::string path = GetDocumentValidatorPath();
  ::SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
  if (::DeleteFileA(path.c_str())) return true;
  const DWORD dwError = ::GetLastError();
  return dwError == ERROR_FILE_NOT_FOUND || dwError == ERROR_PATH_NOT_FOUND;
}
