// Starting regsvr32 for the install steps and their repair.
#pragma once
#include <windows.h>

#include <string>

// Starts regsvr32 with the parameters, hidden, and leaves it to run; FALSE when it cannot start.
BOOL StartRegsvr32(const std::string& strParameters);
// Runs regsvr32 with the parameters and waits for it to end (at most nTimeoutMs): the file it
// works on must still be the one it was started for. FALSE when it cannot start or does not end.
BOOL RunRegsvr32(const std::string& strParameters, DWORD nTimeoutMs);
