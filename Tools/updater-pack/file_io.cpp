#include "file_io.h"

#include <algorithm>
#include <cstring>

std::string Cannot(const char* verb, const std::string& path, int error) {
  return std::string("cannot ") + verb + " '" + path + "': " +
         (error == NotARegularFile ? "not a regular file" : std::strerror(error));
}

std::string Cannot(const char* verb, const std::string& path, const std::error_code& error) {
  return std::string("cannot ") + verb + " '" + path + "': " + error.message();
}

std::string CheckReadable(const std::string& path) {
  InputFile file = OpenForReading(path);
  if (!file) return Cannot("open", path);
  if (std::fgetc(file.get()) == EOF && std::ferror(file.get())) return Cannot("read", path);
  return "";
}

std::string ReadWholeFile(const std::string& path, std::string* bytes) {
  InputFile file = OpenForReading(path);
  if (!file) return Cannot("open", path);
  std::string content;
  char block[65536];
  size_t got;
  while ((got = std::fread(block, 1, sizeof block, file.get())) > 0) content.append(block, got);
  if (std::ferror(file.get())) return Cannot("read", path);
  *bytes = std::move(content);
  return "";
}

void PrintRefusals(const std::string& lines) {
  for (size_t start = 0, end; start < lines.size(); start = end + 1) {
    end = std::min(lines.find('\n', start), lines.size());
    std::fprintf(stderr, "updater-pack: %s\n", lines.substr(start, end - start).c_str());
  }
}
