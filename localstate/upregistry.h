// Installed-version store and registry edit primitives: stateless free functions, each using a
// short-lived CRegistry.
#pragma once
#include <windows.h>

#include <string>

#include "localstate/datversion.h"

// HKEY_CURRENT_USER key holding one REG_SZ value per component: prefix + project name.
constexpr char kInstallKey[] = "Software\\Talvo\\Install";
constexpr char kProgramFilesDefault[] = "C:\\Program Files\\";

// A value of the install key by its whole name (a component kind's prefix + project name), or
// "" when the key or value is missing or unreadable; written as REG_SZ, the key made if missing.
std::string ReadInstallValue(const std::string& valueName);
void WriteInstallValue(const std::string& valueName, const std::string& version);

// The recorded version, or "" when the key or value is missing or unreadable (over 200 bytes).
// Each under its kind's value name (catalogue/componentkind: "Ver", "VerList", "LogOcx", "Options"
// followed by the project's name).
std::string ReadVersion(const std::string& name);
std::string ReadServerListVersion(const std::string& name);
std::string ReadLoginOcxVersion(const std::string& name);
std::string ReadOptionsVersion(const std::string& name);

// Record `version` as REG_SZ, creating the key when it is missing. Failures are not reported.
void WriteVersion(const std::string& name, const std::string& version);
void WriteServerListVersion(const std::string& name, const std::string& version);
void WriteLoginOcxVersion(const std::string& name, const std::string& version);
void WriteOptionsVersion(const std::string& name, const std::string& version);

// The highest release number of a signed document this machine has accepted, "Release" + name,
// REG_SZ decimal like the versions; "" when none is recorded.
std::string ReadAcceptedRelease(const std::string& name);
void WriteAcceptedRelease(const std::string& name, const std::string& number);

// The version in the first 5 scrambled bytes of "\config\talvo.dat" beside the executable;
// "0" when the file cannot be opened.
std::string ReadDatVersion();

// HKLM "ProgramFilesDir" (normally without a trailing backslash), else "C:\Program Files\".
std::string GetProgramFilesDir();

// TRUE when HKEY_LOCAL_MACHINE\path opens with full access.
BOOL MachineKeyExists(const std::string& path);

// Registry edits of install jobs. A path is a root name ("HKCR", "HKCU", "HKLM", "HKCC", "HKPD",
// "HKDD", or "HKU" before a backslash), a separator and the sub key; see SplitRegistryPath.
// Root names are case-sensitive; an unknown one means HKEY_CURRENT_USER.
HKEY GetRootKey(const std::string& name);
// TRUE when the key exists or was created.
BOOL AddRegKey(const std::string& path);
// Deletes the key with its whole tree. TRUE when it was deleted or did not exist; FALSE when it
// cannot be opened or the platform refuses, and for a path without a sub key (a whole root is
// never deleted).
BOOL DelRegKey(const std::string& path);
// Writes `data` as REG_SZ, or a "NUM" form (see ParseRegNumber) as REG_DWORD, creating the key
// when it is missing. Empty data writes the REG_DWORD 0. TRUE once the value is written; FALSE
// when the key cannot be created or opened or the write fails.
BOOL AddRegValue(const std::string& path, const std::string& valueName, const std::string& data);
// Deletes the value. TRUE when it is gone, also when the key or the value was not there; FALSE
// when the key cannot be opened or the deletion fails.
BOOL DelRegValue(const std::string& path, const std::string& valueName);
