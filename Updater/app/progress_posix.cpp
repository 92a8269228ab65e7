// The progress window in a terminal, on standard error. Signals stand in for
// the window's messages: SIGINT is the Cancel button, SIGTERM and SIGHUP close
// the window, SIGQUIT is a quit message. The handlers only note the signal; the
// poll does the work.
#include <signal.h>
#include <unistd.h>

#include <cstdio>
#include <string>

#include "app/app_state.h"
#include "app/progress.h"
#include "text/text.h"

namespace {

volatile sig_atomic_t PendingCancel = 0;
volatile sig_atomic_t PendingClose = 0;
volatile sig_atomic_t PendingQuit = 0;

extern "C" void NoteSignal(int signal) {
  if (signal == SIGINT) PendingCancel = 1;
  else if (signal == SIGQUIT) PendingQuit = 1;
  else PendingClose = 1;
}

constexpr int BarWidth = 40;

class TerminalProgress : public ProgressControls {
 public:
  void Open() {
    interactive_ = isatty(STDERR_FILENO);
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
    std::fflush(stderr);
    open_ = shown_ = false;
  }
  bool IsOpen() const { return open_; }
  // Takes the frame off the screen while a question is asked under it.
  void Hide() {
    if (interactive_ && drawnLines_) std::fprintf(stderr, "\x1b[%dF\x1b[J", drawnLines_);
    drawnLines_ = 0;
    drawn_.clear();
  }

  void SetStatusText(const char16_t* text) override {
    if (!open_) return;
    status_ = WideToNarrow(text, TargetUtf8);
    if (!interactive_ && shown_) std::fprintf(stderr, "%s\n", status_.c_str());
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
  static std::string Bar(uint32_t position, uint32_t maximum) {
    uint64_t filled = position >= maximum ? BarWidth : uint64_t{position} * BarWidth / maximum;
    return "[" + std::string(filled, '#') + std::string(BarWidth - filled, '.') + "]";
  }
  std::string Frame() const {
    return WideToNarrow(WindowTitle, TargetUtf8) + "\n" + status_ + "\n" + Bar(filePosition_, fileMaximum_) + "\n" +
           Bar(entriesPosition_, entriesMaximum_) + " " + std::to_string(entriesPosition_) + "/" +
           std::to_string(entriesMaximum_) + "\n";
  }
  // Only a frame that looks different is drawn again.
  void Redraw() {
    if (interactive_ && shown_ && Frame() != drawn_) Draw();
  }
  void Draw() {
    std::string frame = Frame();
    if (drawnLines_) std::fprintf(stderr, "\x1b[%dF", drawnLines_);
    std::string out;
    for (size_t start = 0, end; (end = frame.find('\n', start)) != std::string::npos; start = end + 1)
      out += frame.substr(start, end - start) + "\x1b[K\n";
    std::fputs(out.c_str(), stderr);
    std::fflush(stderr);
    drawn_ = frame;
    drawnLines_ = 4;
  }

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
  sigemptyset(&action.sa_mask);
  for (int s : {SIGINT, SIGTERM, SIGHUP, SIGQUIT}) sigaction(s, &action, nullptr);
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
  return 0;
}
