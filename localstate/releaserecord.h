// Where the highest signed release accepted by this installation is kept: a small file beside the
// updater (Update.release), shared by every Windows user of the installation as its files are.
// It holds the release number in decimal and nothing else, and is replaced whole (written under
// a temporary name, flushed, renamed over the old one), so it is always the old or the new number.
//
// Updaters before it kept the number per user in HKCU "Software\Talvo\Install", "ReleaseTalvo".
// While no file exists that value stands in for it, so the first run of this updater is held to
// what the user's old one accepted; the first release accepted then goes into the file, and the
// old value is not read again.
#pragma once
#include <windows.h>

#include <cstdint>
#include <string>

struct StoredReleaseText {
  enum State {
    kMissing,     // neither the file nor the old value: a fresh installation
    kFound,       // strText holds what is stored, byte for byte
    kUnreadable,  // the file is there but cannot be read: dwError says why
  };
  State state = kMissing;
  std::string strText;
  std::string strWhere;  // the file's path or the old value's name, for the log
  bool bOldPlace = false;  // found in the per-user value, not yet in the file
  DWORD dwError = 0;
};

std::string GetReleaseRecordPath();
StoredReleaseText ReadStoredRelease();
// Replaces the file with `number`. FALSE with the system's error when it could not be written;
// the old file is then as it was.
BOOL WriteStoredRelease(uint64_t number, DWORD& dwError);
