// The install script: after each installed package, one pass over the pending FOLDER, FILES and
// REGISTRY jobs of the update information document, then the component's completion step.
#pragma once
#include <windows.h>

#include <string>

#include "update/jobline.h"

class CProjectData;

// Runs every pending job line of `projectData` in section order (FOLDER, FILES, REGISTRY), each
// in document order, and marks the lines that succeed as done; failed lines stay pending for the
// pass after the next package. Then records `strVersion` as the installed version for the client
// program, the server list and the login control (`nKind`, see ComponentKind), whatever the jobs
// returned, and registers the login control from the system folder after its package. Works from
// the staging folder beside the executable; nothing is shown to the user.
void OnUpgradeNow(CProjectData& projectData, int nKind, const std::string& strVersion);

// One operation of a job with its operands (empty where the operation takes none); nonzero on
// success. Register and unregister only start regsvr32 and always succeed.
BOOL UpOperation(JobOperation operation, const std::string& strOperand1,
                 const std::string& strOperand2, const std::string& strOperand3);
