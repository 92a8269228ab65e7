// Message boxes in a terminal: the caption and the text on standard error; a
// question reads one line. y or yes (any case) or the locale's yes-expression
// (as rpmatch reads it) is Yes; anything else is No, the default button.
//
// Only the Cancel question has an owner, the progress window. While it waits,
// a second Ctrl-C answers Yes; when standard input has ended (a piped answer
// before it) the answer comes from the controlling terminal, and without one
// the Ctrl-C cancels at once. A close or quit signal answers No, and the poll
// then acts on it.
#include <fcntl.h>
#include <langinfo.h>
#include <regex.h>
#include <unistd.h>

#include <string>

#include "app/messages.h"
#include "app/terminal_posix.h"
#include "text/terminal_posix.h"
#include "text/text.h"

namespace {

constexpr int AnswerNo = 7;  // IDNO

bool MeansYes(const std::string& answer) {
  std::string folded = answer;
  for (char& c : folded) c = FoldAscii(c);
  if (folded == "y" || folded == "yes") return true;
  regex_t yes;
  if (regcomp(&yes, nl_langinfo(YESEXPR), REG_EXTENDED | REG_NOSUB) != 0) return false;
  bool matched = regexec(&yes, answer.c_str(), 0, nullptr, 0) == 0;
  regfree(&yes);
  return matched;
}

void EndPromptLine() { std::fputs("\n", stderr); }

bool AnswerQuestion() {
  std::string line;
  for (;;) {
    LineRead read = ReadAnswerLine(STDIN_FILENO, &line, nullptr);
    if (read == LineRead::Line) return MeansYes(line);
    if (read == LineRead::Ended) {
      EndPromptLine();
      return false;
    }
  }
}

// Where the Cancel question's answer is read: standard input until it ends,
// then the controlling terminal; -1 when neither is left.
int CancelAnswerSource = STDIN_FILENO;

bool AnswerCancelQuestion() {
  sigset_t blocked = WindowSignals(), waiting;
  // The flags are looked at with the signals blocked; they arrive only inside the wait.
  sigprocmask(SIG_BLOCK, &blocked, &waiting);
  std::string line;
  bool yes = false;
  for (;;) {
    if (CancelAnswerSource < 0 || PendingCancel || PendingClose || PendingQuit) {
      yes = !PendingClose && !PendingQuit;
      PendingCancel = 0;
      EndPromptLine();
      break;
    }
    LineRead read = ReadAnswerLine(CancelAnswerSource, &line, &waiting);
    if (read == LineRead::Line) {
      yes = MeansYes(line);
      break;
    }
    if (read == LineRead::Ended) {
      // At a terminal the end of input is typed: an answer, No. Else the
      // answer is read from the terminal, on the prompt's line.
      bool typed = isatty(CancelAnswerSource);
      if (!typed) CancelAnswerSource = open("/dev/tty", O_RDONLY | O_CLOEXEC);
      if (typed || CancelAnswerSource < 0) {
        EndPromptLine();
        yes = !typed;
        break;
      }
    }
  }
  sigprocmask(SIG_SETMASK, &waiting, nullptr);
  return yes;
}

}  // namespace

int PlatformMessageBox(void* owner, const char16_t* text, const char16_t* caption, uint32_t style) {
  WriteLocaleText(stderr, "[" + WideToNarrow(caption, TargetUtf8) + "]\n" + WideToNarrow(text, TargetUtf8) + "\n");
  if (style != BoxQuestion) return 1;  // IDOK
  WriteLocaleText(stderr, "[y/N] ");
  bool yes = owner ? AnswerCancelQuestion() : AnswerQuestion();
  return yes ? AnswerYes : AnswerNo;
}
