// Runs a program as a user would from a terminal: given input lines, its
// standard error (and output) read back, signals sent while it runs.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

class ChildProcess {
 public:
  // Starts `program` with exactly the environment `env` ("NAME=value").
  ChildProcess(const std::string& program, const std::vector<std::string>& env);
  ~ChildProcess();

  void Send(const std::string& text);
  // Reads the output until `text` appears in it; false after `seconds`.
  bool WaitFor(const std::string& text, int seconds = 20);
  void Signal(int signal);
  // Closes the input, reads the rest and returns the exit status (128 + the
  // signal for a killed process); -1 when it did not end within `seconds`.
  int Finish(int seconds = 60);
  const std::string& Output() const { return output_; }

 private:
  bool ReadSome(int milliseconds);
  pid_t pid_ = -1;
  int input_ = -1;
  int output_fd_ = -1;
  std::string output_;
};
