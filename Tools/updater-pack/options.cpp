#include "options.h"

#include <cstring>

const char ToolVersion[] = "2.0.0";  // the updater's own version, which this tool packs

const char UsageText[] =
    "usage: updater-pack build --stub PROGRAM --from DIR --title TEXT --out FILE [OPTIONS]\n"
    "       updater-pack check UPDATER --game DIR\n"
    "       updater-pack list UPDATER\n"
    "       updater-pack versions VLK_FILE\n"
    "       updater-pack --help | --version\n"
    "\n"
    "build     packs every file below DIR behind PROGRAM, the unpacked updater\n"
    "  --stub PROGRAM              build/win32/bin/updater.exe (or build/linux/bin/updater)\n"
    "  --from DIR                  the new game files, laid out as in the game folder\n"
    "  --title TEXT                the update's title, the caption of every window (not empty)\n"
    "  --out FILE                  the packed updater; replaced only when the build succeeds\n"
    "  --game DIR                  first check the update against this copy of the installed game\n"
    "  --follow-links              store what a link in DIR points to, under the link's name\n"
    "  --layout arc20|packfile     archive layout (arc20)\n"
    "  --list-format 2|1           version-list records of 256 or 64 bytes (2)\n"
    "  --title-encoding sjis|utf8  how the title is stored (sjis)\n"
    "check     which game files the update replaces, whether it can install there, and the\n"
    "          rows of the game's vlk.hvl that it changes, adds and drops\n"
    "list      title, program and platform, signature (not verified), entries and version-list\n"
    "          rows, each row's checksum verified\n"
    "versions  the rows of a version-list file such as a game's vlk.hvl\n"
    "\n"
    "An option's value follows it (--opt VALUE) or an equals sign (--opt=VALUE).\n"
    "Exit status: 0 done, 1 list found a mismatch, 2 refused or failed.\n";

namespace {

struct OptionSpec {
  const char* name;
  const char* commands;  // the commands it applies to, space separated
  bool takesValue;
};

constexpr OptionSpec Options[] = {
    {"--stub", "build", true},           {"--from", "build", true},        {"--title", "build", true},
    {"--out", "build", true},            {"--game", "build check", true},  {"--follow-links", "build", false},
    {"--layout", "build", true},         {"--list-format", "build", true}, {"--title-encoding", "build", true},
};

bool AppliesTo(const OptionSpec& option, const std::string& command) {
  std::string commands = std::string(" ") + option.commands + " ";
  return commands.find(" " + command + " ") != std::string::npos;
}

// Stores one option's value; "" or what is wrong with the value.
std::string Assign(const std::string& name, const std::string& value, PackOptions* pack) {
  auto oneOf = [&](const char* first, const char* second) -> std::string {
    if (value == first || value == second) return "";
    return name + ": '" + value + "' is not " + first + " or " + second;
  };
  std::string problem;
  if (name == "--stub") pack->stub = value;
  else if (name == "--from") pack->from = value;
  else if (name == "--title") pack->title = value;
  else if (name == "--out") pack->out = value;
  else if (name == "--game") pack->game = value;
  else if (name == "--follow-links") pack->followLinks = true;
  else if (name == "--layout" && (problem = oneOf("arc20", "packfile")).empty()) pack->packFileLayout = value == "packfile";
  else if (name == "--list-format" && (problem = oneOf("2", "1")).empty()) pack->listFormat = value == "1" ? 1 : 2;
  else if (name == "--title-encoding" && (problem = oneOf("sjis", "utf8")).empty()) pack->titleUtf8 = value == "utf8";
  return problem;
}

}  // namespace

std::string ParseCommandLine(const std::vector<std::string>& args, CommandLine* line) {
  bool titleGiven = false;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (arg == "--help" || arg == "-h" || (line->command.empty() && arg == "help")) {
      line->command = "help";
      return "";
    }
    if (arg == "--version") {
      line->command = "version";
      return "";
    }
    if (line->command.empty()) {
      if (arg == "build" || arg == "check" || arg == "list" || arg == "versions") {
        line->command = arg;
        continue;
      }
      if (!arg.empty() && arg.front() == '-') return "a command comes first: build, check, list or versions";
      return "unknown command '" + arg + "'";
    }
    if (arg.empty() || arg.front() != '-' || arg == "-") {
      if (line->command == "build" || !line->file.empty()) return "unexpected argument '" + arg + "'";
      line->file = arg;
      continue;
    }
    size_t equals = arg.find('=');
    std::string name = arg.substr(0, equals);
    const OptionSpec* option = nullptr;
    for (const OptionSpec& known : Options)
      if (name == known.name) option = &known;
    if (!option) return "unknown option '" + name + "'";
    if (!AppliesTo(*option, line->command)) return "option '" + name + "' does not apply to " + line->command;
    std::string value;
    if (!option->takesValue && equals != std::string::npos) return "option '" + name + "' takes no value";
    if (option->takesValue && equals != std::string::npos) value = arg.substr(equals + 1);
    else if (option->takesValue && i + 1 < args.size()) value = args[++i];
    else if (option->takesValue) return "option '" + name + "' needs a value";
    if (std::string problem = Assign(name, value, &line->pack); !problem.empty()) return problem;
    titleGiven = titleGiven || name == "--title";
  }

  if (line->command.empty()) return "no command given: build, check, list or versions";
  if (line->command != "build" && line->file.empty()) return line->command + ": the file to read is missing";
  if (line->command == "check" && line->pack.game.empty()) return "check: --game is missing";
  if (line->command != "build") return "";
  for (auto [value, name] : {std::pair{&line->pack.stub, "--stub"}, {&line->pack.from, "--from"}, {&line->pack.out, "--out"}})
    if (value->empty()) return std::string("build: ") + name + " is missing";
  if (!titleGiven) return "build: --title is missing";
  return "";
}
