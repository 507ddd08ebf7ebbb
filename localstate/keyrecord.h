// Where the release keys this installation trusts after the key changes it applied are kept: a
// small file beside the updater (Update.keys) beside the release record, shared by every Windows
// user of the installation. No file: no change applied here, the build's keys are trusted. It is
// replaced whole (written under a temporary name, flushed, renamed over the old one), so it is
// always the old or the new record, never a mix that could trust a retired key again.
#pragma once
#include <windows.h>

#include <string>

struct StoredKeysText {
  enum State {
    kMissing,     // no file: no key change applied here
    kFound,       // strText holds what is stored, byte for byte
    kUnreadable,  // the file is there but cannot be read: dwError says why
  };
  State state = kMissing;
  std::string strText;
  std::string strWhere;  // the file's path, for the log
  DWORD dwError = 0;
};

std::string GetKeyRecordPath();
StoredKeysText ReadStoredKeys();
// Replaces the file with `text`. FALSE with the system's error when it could not be written; the
// old file is then as it was.
BOOL WriteStoredKeys(const std::string& text, DWORD& dwError);
