#include "tests/support/freshfolder.h"

#include <windows.h>

#include <gtest/gtest.h>

#include "tests/support/files.h"

namespace testsupport {

std::string CurrentTestName() {
  const ::testing::TestInfo* info = ::testing::UnitTest::GetInstance()->current_test_info();
  return std::string(info->test_suite_name()) + "." + info->name();
}

std::string FreshFolder(const std::string& name) {
  char szTemp[MAX_PATH] = {};
  ::GetTempPathA(MAX_PATH, szTemp);
  std::string folder = std::string(szTemp) + "talvo-tests";
  ::CreateDirectoryA(folder.c_str(), nullptr);
  std::string leaf = name;
  for (char& c : leaf) {
    if (c == '/' || c == '\\') c = '_';
  }
  folder += "\\" + leaf;
  RemoveTree(folder);
  ::CreateDirectoryA(folder.c_str(), nullptr);
  return folder;
}

std::string FreshTestFolder() { return FreshFolder(CurrentTestName()); }

}  // namespace testsupport
