// Reading whole files and naming what went wrong: every message says which
// path and the system's reason, as in "cannot open 'x': Permission denied".
#pragma once

#include <cerrno>
#include <cstdio>
#include <memory>
#include <string>
#include <system_error>

// A file open for reading, closed when it goes; null, with errno set
// (NotARegularFile for a FIFO, socket or device), when it cannot be opened.
using InputFile = std::unique_ptr<std::FILE, int (*)(std::FILE*)>;
InputFile OpenForReading(const std::string& path);
constexpr int NotARegularFile = -1;

// "cannot VERB 'PATH': REASON".
std::string Cannot(const char* verb, const std::string& path, int error = errno);
std::string Cannot(const char* verb, const std::string& path, const std::error_code& error);

// "" when the file at `path` opens and reads, else why not. The updater's file
// layer keeps no system reason; this names it before that layer is used.
std::string CheckReadable(const std::string& path);

// Prints each line of `lines` (a refusal, or several) on standard error,
// each as "updater-pack: LINE".
void PrintRefusals(const std::string& lines);

// The whole file at `path`; "" or why it cannot be read.
std::string ReadWholeFile(const std::string& path, std::string* bytes);
