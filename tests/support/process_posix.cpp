#include "support/process_posix.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>

ChildProcess::ChildProcess(const std::string& program, const std::vector<std::string>& env) {
  int in[2], out[2];
  if (pipe2(in, O_CLOEXEC) != 0 || pipe2(out, O_CLOEXEC) != 0) return;
  pid_ = fork();
  if (pid_ == 0) {
    dup2(in[0], 0);
    dup2(out[1], 1);
    dup2(out[1], 2);
    std::vector<char*> envp;
    for (const std::string& e : env) envp.push_back(const_cast<char*>(e.c_str()));
    envp.push_back(nullptr);
    char* argv[] = {const_cast<char*>(program.c_str()), nullptr};
    execve(program.c_str(), argv, envp.data());
    _exit(127);
  }
  close(in[0]);
  close(out[1]);
  input_ = in[1];
  output_fd_ = out[0];
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
  if (input_ >= 0 && write(input_, text.data(), text.size()) < 0) {
    close(input_);
    input_ = -1;
  }
}

bool ChildProcess::ReadSome(int milliseconds) {
  if (output_fd_ < 0) return false;
  pollfd p{output_fd_, POLLIN, 0};
  if (poll(&p, 1, milliseconds) <= 0) return true;
  char buffer[4096];
  ssize_t n = read(output_fd_, buffer, sizeof buffer);
  if (n <= 0) {
    close(output_fd_);
    output_fd_ = -1;
    return false;
  }
  output_.append(buffer, static_cast<size_t>(n));
  return true;
}

bool ChildProcess::WaitFor(const std::string& text, int seconds) {
  auto end = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
  while (output_.find(text) == std::string::npos) {
    if (std::chrono::steady_clock::now() > end || !ReadSome(50)) return output_.find(text) != std::string::npos;
  }
  return true;
}

void ChildProcess::Signal(int signal) {
  if (pid_ > 0) kill(pid_, signal);
}

int ChildProcess::Finish(int seconds) {
  if (pid_ <= 0) return -1;
  if (input_ >= 0) {
    close(input_);
    input_ = -1;
  }
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
