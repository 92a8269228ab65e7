// Runs a program as a user would from a terminal: given input lines, its
// standard error (and output) read back, signals sent while it runs; on a
// pseudo-terminal, keys typed on it and the screen its output leaves; and
// what it left in a folder.
#pragma once

#include <sys/types.h>

#include <map>
#include <string>
#include <vector>

enum class Streams {
  Pipes,             // input and output through pipes; no controlling terminal
  Terminal,          // all three on a pseudo-terminal, its controlling terminal
  PipeIntoTerminal,  // input through a pipe, output on the controlling pseudo-terminal
};

struct ChildOptions {
  std::vector<std::string> args;  // after the program's name
  Streams streams = Streams::Pipes;
  unsigned short columns = 80;  // of the pseudo-terminal
  int user = -1;                // run as this user id (the test runs as root); -1: as the test
  std::string name = "";        // the program's name (argv[0]); empty: its path
};

class ChildProcess {
 public:
  // Starts `program` with exactly the environment `env` ("NAME=value").
  ChildProcess(const std::string& program, const std::vector<std::string>& env, const ChildOptions& options = {});
  ~ChildProcess();

  // Writes on the program's standard input.
  void Send(const std::string& text);
  // Ends the piped standard input.
  void CloseInput();
  // Types on the pseudo-terminal ("\x03" is Ctrl-C).
  void Type(const std::string& keys);
  // Reads the output until `text` appears in it at or after `from`; false after `seconds`.
  bool WaitFor(const std::string& text, int seconds = 20, size_t from = 0);
  // Reads nothing until `bytes` of output wait to be read, as in a terminal
  // that falls behind; false after `seconds`.
  bool WaitUnread(int bytes, int seconds = 20);
  void Signal(int signal);
  // Closes a piped input, reads the rest and returns the exit status (128 +
  // the signal for a killed process); -1 when it did not end within `seconds`.
  int Finish(int seconds = 60);
  const std::string& Output() const { return output_; }

 private:
  bool ReadSome(int milliseconds);
  pid_t pid_ = -1;
  int input_ = -1;
  bool inputIsTerminal_ = false;
  int terminal_ = -1;
  int output_fd_ = -1;
  std::string output_;
};

// The rows of a terminal `columns` wide (without end, never scrolled) after
// `output`: text with East Asian wide characters, wrapping at the right edge,
// CR, LF and the cursor and erase sequences CSI n F, CSI K and CSI J.
// Any other sequence shows as its text. Trailing blanks and rows are dropped.
std::vector<std::string> ScreenRows(const std::string& output, int columns);

// Runs updater-pack with these (shell-quoted) arguments in the test's
// environment: its exit status and what it printed on either stream.
struct ToolRun {
  int status;
  std::string out;
};
ToolRun RunPackTool(const std::string& arguments, Streams streams = Streams::Pipes);

// Every entry below `folder` with its kind, and a file's size and time: what a
// run that changes nothing leaves as it was.
std::map<std::string, std::string> FolderState(const std::string& folder);
