// The install script: after each installed package, one pass over the pending FOLDER, FILES and
// REGISTRY jobs of the update information document, then the component's completion step.
#pragma once
#include <windows.h>

#include <string>

#include "catalogue/jobline.h"

class CInstallTransaction;
class CProjectData;

// How the installation step of one component ended.
struct InstallStepResult {
  bool bFailed = false;        // the step was rolled back: nothing of it is installed
  std::string strFailure;      // what could not be done, for the user
  std::string strBlockedFile;  // the file that could not be replaced or removed, if that was it
  std::string strHolders;      // the programs holding it, where the system can tell
  unsigned long long nSpaceNeededKB = 0;  // too little room: what the new files need on strVolume
  std::string strVolume;
  unsigned long nError = 0;    // the Windows error code of the failure, where there is one
};

// Runs every pending job line of `projectData` in section order (FOLDER, FILES, REGISTRY), each
// in document order, and marks the lines that succeed as done; lines that fail stay pending for
// the pass after the next package. Then records `strVersion` as the installed version for the
// client program, the server list and the login control (`nKind`, see ComponentKind), and
// registers the login control from the system folder after its package. Copies files only from
// strPackageFolder (ending with a backslash), the folder this component's package was unpacked
// into in this run, so nothing another package or an earlier run left is ever installed; empty
// means the staging folder itself. Nothing is shown to the user.
// The whole pass is one installation step that is either wholly done or wholly undone, also when
// the process ends in the middle (the journal beside the staging folder; the next start repairs).
// A job whose staged file is not in this package, or whose change is refused (a folder that still
// holds a file, a name that exists, a registry edit the registry refuses), stays pending and is no
// failure. A change the system does not allow (a file held open, a full disk, access denied), or
// too little free space for the new files, fails the step: it is rolled back at once, no line is
// marked done and no version recorded.
InstallStepResult OnUpgradeNow(CProjectData& projectData, int nKind, const std::string& strVersion,
                               const std::string& strPackageFolder = std::string());

// One operation of a job with its operands (empty where the operation takes none), made through
// the installation step; nonzero on success. A zero result with step.GetFailure() empty is a
// refusal (the line stays pending); with a failure it fails the step. Unregister runs regsvr32 at
// once, against the file as it is at that line, and waits for it; register starts regsvr32 once
// the step is committed (also from the repair after an interruption). Both succeed unless the
// journal cannot be written.
BOOL UpOperation(CInstallTransaction& step, JobOperation operation, const std::string& strOperand1,
                 const std::string& strOperand2, const std::string& strOperand3);
