// The POSIX port says the cause of a failure on the terminal, after the result.
#include <cstdio>
#include <cstring>
#include <ctime>

#include "app/install_update.h"

void RecordInstallRun(const InstallRun& run) {
  std::string cause = DescribeFailure(run);
  if (!cause.empty()) std::fprintf(stderr, "%s\n", cause.c_str());
}

std::string LocalTimeText() {
  std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  char text[32];
  return std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &local) ? text : "";
}

std::string SystemErrorText(uint32_t code) { return std::strerror(static_cast<int>(code)); }
