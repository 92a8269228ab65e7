// The command line as vendors know it from other packaging tools: a command,
// then options as --opt VALUE or --opt=VALUE; --help and --version anywhere.
#pragma once

#include <string>
#include <vector>

#include "pack.h"

extern const char ToolVersion[];
extern const char UsageText[];

struct CommandLine {
  std::string command;  // build, check, list, versions, help or version; "" when none is given
  std::string file;     // the file that check, list and versions read
  PackOptions pack;     // build's options; check takes --game from here
};

// Reads the arguments after the program's name. "" or the one problem found,
// naming the option or value ("unknown option '--bogus'").
std::string ParseCommandLine(const std::vector<std::string>& args, CommandLine* line);
