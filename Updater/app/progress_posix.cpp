// The progress window in a terminal, on standard error. Signals stand in for
// the window's messages: SIGINT is the Cancel button, SIGTERM and SIGHUP close
// the window, SIGQUIT is a quit message, SIGWINCH redraws it at the new width.
// The handlers only note the signal; the poll does the work.
#include <stdlib.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <string>

#include "app/app_state.h"
#include "app/progress.h"
#include "app/terminal_posix.h"
#include "text/terminal_posix.h"
#include "text/text.h"

volatile sig_atomic_t PendingCancel = 0;
volatile sig_atomic_t PendingClose = 0;
volatile sig_atomic_t PendingQuit = 0;
volatile sig_atomic_t PendingResize = 0;

sigset_t WindowSignals() {
  sigset_t signals;
  sigemptyset(&signals);
  for (int s : {SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGWINCH}) sigaddset(&signals, s);
  return signals;
}

namespace {

extern "C" void NoteSignal(int signal) {
  if (signal == SIGINT) PendingCancel = 1;
  else if (signal == SIGQUIT) PendingQuit = 1;
  else if (signal == SIGWINCH) PendingResize = 1;
  else PendingClose = 1;
}

constexpr int BarWidth = 40;

// Cursor movement only where a terminal that understands it shows the output.
bool DrawsInPlace() {
  const char* term = getenv("TERM");
  return isatty(STDERR_FILENO) && term && *term && std::string(term) != "dumb";
}

int TerminalColumns() {
  winsize size{};
  return ioctl(STDERR_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 0 ? size.ws_col : 80;
}

class TerminalProgress : public ProgressControls {
 public:
  void Open() {
    interactive_ = DrawsInPlace();
    if (interactive_) KeepFramesWhole();
    open_ = true;
    fileMaximum_ = entriesMaximum_ = 1;
    filePosition_ = entriesPosition_ = 0;
    status_.clear();
    drawnLines_ = 0;
  }
  void Show() {
    shown_ = true;
    if (interactive_) Draw();
  }
  void Close() {
    if (!open_) return;
    Hide();
    RestoreTerminal();
    open_ = shown_ = false;
  }
  bool IsOpen() const { return open_; }
  // Takes the frame off the screen while a question is asked under it.
  void Hide() {
    if (interactive_ && drawnLines_) WriteLocaleText(stderr, "\x1b[" + std::to_string(drawnLines_) + "F\x1b[J");
    drawnLines_ = 0;
    drawn_.clear();
  }
  // After a change of width the old frame may have been rewrapped: it is
  // cleared and drawn anew.
  void Resize() {
    if (!shown_) return;
    Hide();
    Show();
  }

  void SetStatusText(const char16_t* text) override {
    if (!open_) return;
    status_ = WideToNarrow(text, TargetUtf8);
    if (!interactive_ && shown_) WriteLocaleText(stderr, status_ + "\n");
    Redraw();
  }
  void SetBarRange(int barId, uint32_t maximum) override {
    if (!open_) return;
    (barId == FileBarId ? fileMaximum_ : entriesMaximum_) = maximum ? maximum : 1;
    Redraw();
  }
  void SetBarPosition(int barId, uint32_t position) override {
    if (!open_) return;
    (barId == FileBarId ? filePosition_ : entriesPosition_) = position;
    Redraw();
  }

 private:
  static std::string Bar(uint32_t position, uint32_t maximum, int width) {
    uint64_t filled = position >= maximum ? width : uint64_t{position} * width / maximum;
    return "[" + std::string(filled, '#') + std::string(width - filled, '.') + "]";
  }
  // Each line one row: cut short of the last column, where some terminals
  // wrap or erase early. The bars shrink to leave room for the count of
  // files, the two of them equally long.
  std::string Frame() const {
    int columns = TerminalColumns() - 1;
    std::string count = " " + std::to_string(entriesPosition_) + "/" + std::to_string(entriesMaximum_);
    int width = std::clamp(columns - 2 - static_cast<int>(count.size()), 0, BarWidth);
    std::string frame;
    for (const std::string& line : {WideToNarrow(WindowTitle, TargetUtf8), status_,
                                    Bar(filePosition_, fileMaximum_, width),
                                    Bar(entriesPosition_, entriesMaximum_, width) + count})
      frame += FitToColumns(line, columns) + "\x1b[K\n";
    return frame;
  }
  // While the window is open, Ctrl-C neither flushes the terminal's output,
  // which would lose the rest of a frame (and the next redraw, going up a
  // whole frame, would climb into the lines above it), nor echoes ^C into a
  // frame. Only in the foreground: from the background tcsetattr stops the program.
  void KeepFramesWhole() {
    termios settings;
    if (tcgetpgrp(STDERR_FILENO) != getpgrp() || tcgetattr(STDERR_FILENO, &settings) != 0) return;
    saved_ = settings;
    settings.c_lflag = (settings.c_lflag | NOFLSH) & ~ECHOCTL;
    restore_ = tcsetattr(STDERR_FILENO, TCSANOW, &settings) == 0;
  }
  void RestoreTerminal() {
    if (restore_) tcsetattr(STDERR_FILENO, TCSANOW, &saved_);
    restore_ = false;
  }
  // Only a frame that looks different is drawn again.
  void Redraw() {
    if (interactive_ && shown_ && Frame() != drawn_) Draw();
  }
  void Draw() {
    std::string frame = Frame();
    WriteLocaleText(stderr, (drawnLines_ ? "\x1b[" + std::to_string(drawnLines_) + "F" : "") + frame);
    drawn_ = frame;
    drawnLines_ = 4;
  }

  termios saved_{};
  bool restore_ = false;
  bool interactive_ = false;
  bool open_ = false;
  bool shown_ = false;
  std::string status_;
  std::string drawn_;
  int drawnLines_ = 0;
  uint32_t fileMaximum_ = 1, filePosition_ = 0, entriesMaximum_ = 1, entriesPosition_ = 0;
};

TerminalProgress Window;

}  // namespace

ProgressControls* CurrentProgressControls() { return Window.IsOpen() ? &Window : nullptr; }

bool CreateProgressWindow() {
  struct sigaction action {};
  action.sa_handler = NoteSignal;
  action.sa_flags = SA_RESTART;  // the file work goes on; a question's wait sees them
  sigemptyset(&action.sa_mask);
  for (int s : {SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGWINCH}) sigaction(s, &action, nullptr);
  Window.Open();
  return true;
}

void ShowProgressWindow(int) { Window.Show(); }

void DestroyProgressWindow() { Window.Close(); }

void ReleaseProgressWindowResources() {}

int PumpOneMessage() {
  if (PendingQuit) {
    PendingQuit = 0;
    throw 0;
  }
  if (PendingClose) {
    PendingClose = 0;
    if (Window.IsOpen()) {
      AbortRequested = 1;
      Window.Close();
    }
    return 1;
  }
  if (PendingCancel) {
    PendingCancel = 0;
    if (Window.IsOpen()) {
      Window.Hide();
      ConfirmCancel(&Window);
      Window.Show();
    }
    return 1;
  }
  if (PendingResize) {
    PendingResize = 0;
    if (Window.IsOpen()) Window.Resize();
    return 1;
  }
  return 0;
}
