#include <cstdio>
#include <cstring>
#include <string>

#include "pack.h"

namespace {

int Usage() {
  std::fprintf(stderr,
               "usage: updater-pack build --stub STUB --from DIR --title TEXT --out OUT\n"
               "                          [--layout arc20|packfile] [--list-format 2|1]\n"
               "                          [--title-encoding sjis|utf8]\n"
               "       updater-pack list FILE\n"
               "       updater-pack versions VLK_FILE\n");
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 3 && std::strcmp(argv[1], "list") == 0) return ListPayload(argv[2], stdout);
  if (argc == 3 && std::strcmp(argv[1], "versions") == 0) return ListVersionFile(argv[2], stdout);
  if (argc < 2 || std::strcmp(argv[1], "build") != 0) return Usage();

  PackOptions options;
  for (int i = 2; i < argc; i += 2) {
    if (i + 1 >= argc) return Usage();
    std::string key = argv[i], value = argv[i + 1];
    if (key == "--stub") options.stub = value;
    else if (key == "--from") options.from = value;
    else if (key == "--title") options.title = value;
    else if (key == "--out") options.out = value;
    else if (key == "--layout" && (value == "arc20" || value == "packfile")) options.packFileLayout = value == "packfile";
    else if (key == "--list-format" && (value == "1" || value == "2")) options.listFormat = value[0] - '0';
    else if (key == "--title-encoding" && (value == "sjis" || value == "utf8")) options.titleUtf8 = value == "utf8";
    else return Usage();
  }
  if (options.stub.empty() || options.from.empty() || options.out.empty()) return Usage();

  std::string error = BuildPayload(options);
  if (!error.empty()) {
    std::fprintf(stderr, "updater-pack: %s\n", error.c_str());
    return 2;
  }
  return 0;
}
