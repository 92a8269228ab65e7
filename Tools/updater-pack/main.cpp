#include <cstdio>
#include <string>
#include <vector>

#include "file_io.h"
#include "options.h"
#include "pack.h"

int main(int argc, char** argv) {
  CommandLine line;
  std::string problem = ParseCommandLine(std::vector<std::string>(argv + 1, argv + argc), &line);
  if (argc < 2) {
    std::fputs(UsageText, stderr);
    return 2;
  }
  if (!problem.empty()) {
    std::fprintf(stderr, "updater-pack: %s (see updater-pack --help)\n", problem.c_str());
    return 2;
  }
  if (line.command == "help") {
    std::fputs(UsageText, stdout);
    return 0;
  }
  if (line.command == "version") {
    std::printf("updater-pack %s\n", ToolVersion);
    return 0;
  }
  if (line.command == "list") return ListPayload(line.file, stdout);
  if (line.command == "versions") return ListVersionFile(line.file, stdout);
  if (line.command == "check") return CheckPayloadInGame(line.file, line.pack.game, stdout);

  std::string error = BuildPayload(line.pack, stdout);
  if (!error.empty()) {
    PrintRefusals(error);
    return 2;
  }
  return 0;
}
