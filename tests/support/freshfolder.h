// Private, empty folders for tests under the temporary folder.
//
// One rule for every folder path these helpers return: NO trailing backslash (as ModuleFolder
// and the Win32 folder functions give them). Join names with "\\" at the call site.
#pragma once
#include <string>

namespace testsupport {

// "Suite.Test" of the running GoogleTest test (parameterised names keep their '/').
std::string CurrentTestName();

// %TEMP%\talvo-tests\<name>, emptied or created; '/' and '\' in `name` become '_' so any test
// name gives one folder level.
std::string FreshFolder(const std::string& name);
// FreshFolder(CurrentTestName()).
std::string FreshTestFolder();

}  // namespace testsupport
