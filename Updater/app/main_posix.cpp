// The POSIX program: the same run as on Windows, in a terminal, in the
// player's locale. The exit status is the low 8 bits of the exit code.
#include <clocale>

#include "app/flow.h"

int main() {
  // The terminal's character set, width table and yes-expression; when the
  // player's locale is not installed, the C locale stays.
  static_cast<void>(std::setlocale(LC_ALL, ""));
  return RunUpdater(0);
}
