// Writes numbered lines through WriteLog into a kept log, as an updater would:
//   keptlogwriter LOG TAG COUNT
#include <cstdlib>
#include <string>

#include "framework/keptlog.h"
#include "framework/log.h"

int main(int argc, char** argv) {
  if (argc != 4) return 2;
  framework::SetKeptLogPath(argv[1]);
  const int count = std::atoi(argv[3]);
  const std::string padding(80, 'x');
  for (int i = 0; i < count; ++i) framework::WriteLog("writer %s line %d %s\n", argv[2], i, padding.c_str());
  return 0;
}
