// The POSIX port says the cause of a failure on the terminal, after the result.
#include <cstring>
#include <ctime>

#include "app/install_update.h"
#include "text/terminal_posix.h"

void RecordInstallRun(const InstallRun& run) {
  std::string cause = DescribeFailure(run);
  if (!cause.empty()) WriteLocaleText(stderr, cause + "\n");
}

std::string LocalTimeText() {
  std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  char text[32];
  return std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &local) ? text : "";
}

// In the locale's language and character set, as the program set them.
std::string SystemErrorText(uint32_t code) { return FromLocaleText(std::strerror(static_cast<int>(code))); }
