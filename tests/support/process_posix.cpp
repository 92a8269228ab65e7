#include "support/process_posix.h"

#include <fcntl.h>
#include <grp.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <clocale>
#include <cwchar>
#include <filesystem>

#include "text/text.h"

ChildProcess::ChildProcess(const std::string& program, const std::vector<std::string>& env,
                           const ChildOptions& options) {
  int in[2] = {-1, -1}, out[2] = {-1, -1};
  bool onTerminal = options.streams != Streams::Pipes;
  if (options.streams != Streams::Terminal && pipe2(in, O_CLOEXEC) != 0) return;
  if (!onTerminal && pipe2(out, O_CLOEXEC) != 0) return;
  winsize size{24, options.columns, 0, 0};
  // forkpty makes the child a session of its own with the terminal as its controlling one.
  pid_ = onTerminal ? forkpty(&terminal_, nullptr, nullptr, &size) : fork();
  if (pid_ == 0) {
    if (!onTerminal) {
      setsid();  // no controlling terminal, not even the one the tests run in
      dup2(out[1], 1);
      dup2(out[1], 2);
    }
    if (in[0] >= 0) dup2(in[0], 0);
    if (options.user >= 0 && (setgroups(0, nullptr) != 0 || setgid(options.user) != 0 || setuid(options.user) != 0))
      _exit(126);
    std::vector<char*> argv{const_cast<char*>((options.name.empty() ? program : options.name).c_str())}, envp;
    for (const std::string& a : options.args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    for (const std::string& e : env) envp.push_back(const_cast<char*>(e.c_str()));
    envp.push_back(nullptr);
    execve(program.c_str(), argv.data(), envp.data());
    _exit(127);
  }
  if (terminal_ >= 0) fcntl(terminal_, F_SETFD, FD_CLOEXEC);
  if (in[0] >= 0) close(in[0]);
  if (out[1] >= 0) close(out[1]);
  input_ = in[1];
  inputIsTerminal_ = options.streams == Streams::Terminal;
  output_fd_ = onTerminal ? terminal_ : out[0];
  signal(SIGPIPE, SIG_IGN);  // a program that stopped reading must not end the test
}

ChildProcess::~ChildProcess() {
  if (pid_ > 0 && Finish(5) < 0) {
    kill(pid_, SIGKILL);
    waitpid(pid_, nullptr, 0);
  }
  if (input_ >= 0) close(input_);
  if (output_fd_ >= 0) close(output_fd_);
}

void ChildProcess::Send(const std::string& text) {
  if (inputIsTerminal_) return Type(text);
  if (input_ >= 0 && write(input_, text.data(), text.size()) < 0) {
    close(input_);
    input_ = -1;
  }
}

void ChildProcess::CloseInput() {
  if (input_ >= 0) close(input_);
  input_ = -1;
}

void ChildProcess::Type(const std::string& keys) {
  if (terminal_ >= 0 && write(terminal_, keys.data(), keys.size()) < 0) terminal_ = -1;
}

bool ChildProcess::ReadSome(int milliseconds) {
  if (output_fd_ < 0) return false;
  pollfd p{output_fd_, POLLIN, 0};
  if (poll(&p, 1, milliseconds) <= 0) return true;
  char buffer[4096];
  ssize_t n = read(output_fd_, buffer, sizeof buffer);
  if (n <= 0) {  // a pseudo-terminal ends with EIO once the program is gone
    close(output_fd_);
    output_fd_ = terminal_ = -1;
    return false;
  }
  output_.append(buffer, static_cast<size_t>(n));
  return true;
}

bool ChildProcess::WaitFor(const std::string& text, int seconds, size_t from) {
  auto end = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
  while (output_.find(text, from) == std::string::npos) {
    if (std::chrono::steady_clock::now() > end || !ReadSome(50)) return output_.find(text, from) != std::string::npos;
  }
  return true;
}

bool ChildProcess::WaitUnread(int bytes, int seconds) {
  auto end = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
  int waiting = 0;
  while (ioctl(output_fd_, FIONREAD, &waiting) == 0 && waiting < bytes && std::chrono::steady_clock::now() < end)
    usleep(1000);
  return waiting >= bytes;
}

void ChildProcess::Signal(int signal) {
  if (pid_ > 0) kill(pid_, signal);
}

int ChildProcess::Finish(int seconds) {
  if (pid_ <= 0) return -1;
  CloseInput();
  auto end = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
  while (ReadSome(50) && std::chrono::steady_clock::now() < end) {
  }
  int status = 0;
  while (waitpid(pid_, &status, WNOHANG) == 0) {
    if (std::chrono::steady_clock::now() > end) return -1;
    usleep(10000);
  }
  pid_ = -1;
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

std::vector<std::string> ScreenRows(const std::string& output, int columns) {
  // A cell holds the character that starts in it; the right half of a wide one is empty.
  std::vector<std::vector<std::string>> cells;
  size_t row = 0, column = 0;
  auto put = [&](const std::string& text, size_t width) {
    if (column + width > static_cast<size_t>(columns)) row++, column = 0;
    if (cells.size() <= row) cells.resize(row + 1, std::vector<std::string>(columns, " "));
    cells[row][column] = text;
    if (width == 2) cells[row][column + 1] = "";
    column += width;
  };
  // Erases from the cursor to the end of its row, or (CSI J) of the screen.
  auto erase = [&](bool screen) {
    for (size_t r = row; r < cells.size() && (screen || r == row); ++r)
      for (size_t c = r == row ? column : 0; c < cells[r].size(); ++c) cells[r][c] = " ";
  };
  locale_t utf8 = newlocale(LC_CTYPE_MASK, "C.UTF-8", nullptr);
  locale_t previous = uselocale(utf8);
  for (size_t at = 0; at < output.size();) {
    if (output.compare(at, 2, "\x1b[") == 0) {
      size_t final = output.find_first_not_of("0123456789;", at + 2);
      if (final == std::string::npos) break;
      size_t n = final > at + 2 ? std::stoul(output.substr(at + 2, final - at - 2)) : 1;
      char command = output[final];
      if (command == 'F') row = row > n ? row - n : 0, column = 0;
      if (command == 'K' || command == 'J') erase(command == 'J');
      if (std::string("FKJ").find(command) == std::string::npos)
        for (size_t i = at; i <= final; ++i) put(output[i] == '\x1b' ? "^[" : std::string(1, output[i]), 1);
      at = final + 1;
    } else if (output[at] == '\r' || output[at] == '\n') {
      if (output[at] == '\r') column = 0;
      else row++;
      at++;
    } else {
      std::string text = output.substr(at, std::max<size_t>(1, DecodeChar(output.c_str() + at, EncodingUtf8).length));
      int width = wcwidth(static_cast<wchar_t>(DecodeChar(text.c_str(), EncodingUtf8).code));
      put(text, width == 2 ? 2 : 1);
      at += text.size();
    }
  }
  uselocale(previous);
  freelocale(utf8);
  std::vector<std::string> rows;
  for (const auto& line : cells) {
    std::string text;
    for (const std::string& cell : line) text += cell;
    rows.push_back(text.substr(0, text.find_last_not_of(' ') + 1));
  }
  while (!rows.empty() && rows.back().empty()) rows.pop_back();
  return rows;
}

ToolRun RunPackTool(const std::string& arguments, Streams streams) {
  std::vector<std::string> env;
  for (char** e = environ; *e; ++e) env.push_back(*e);
  ChildOptions options{{"-c", std::string(UPDATER_PACK_PATH) + " " + arguments}, streams};
  ChildProcess tool("/bin/sh", env, options);
  int status = tool.Finish();
  return {status, tool.Output()};
}

std::map<std::string, std::string> FolderState(const std::string& folder) {
  namespace fs = std::filesystem;
  std::map<std::string, std::string> state;
  for (auto& entry : fs::recursive_directory_iterator(folder)) {
    fs::file_status status = entry.symlink_status();
    std::string text = std::to_string(static_cast<int>(status.type()));
    if (fs::is_regular_file(status))
      text += " " + std::to_string(entry.file_size()) + " " +
              std::to_string(entry.last_write_time().time_since_epoch().count());
    state[entry.path().string()] = text;
  }
  return state;
}
