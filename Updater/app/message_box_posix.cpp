// Message boxes in a terminal: the caption and the text on standard error; a
// question reads one line, where only y or yes (any case) is Yes, as No is the
// default button.
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "app/messages.h"
#include "text/text.h"

int PlatformMessageBox(void*, const char16_t* text, const char16_t* caption, uint32_t style) {
  std::string message = WideToNarrow(text, TargetUtf8);
  std::fprintf(stderr, "[%s]\n%s\n", WideToNarrow(caption, TargetUtf8).c_str(), message.c_str());
  if (style != BoxQuestion) return 1;  // IDOK

  std::fprintf(stderr, "[y/N] ");
  std::fflush(stderr);
  char line[64];
  if (!std::fgets(line, sizeof line, stdin)) return 7;  // IDNO
  std::string answer(line, std::strcspn(line, "\r\n"));
  // Drop the rest of an over-long line, so that it is not taken as the next answer.
  for (int c = line[std::strlen(line) - 1] == '\n' ? '\n' : 0; c != '\n' && c != EOF;) c = std::fgetc(stdin);
  if (!isatty(STDIN_FILENO)) std::fprintf(stderr, "%s\n", answer.c_str());  // keep a transcript readable
  for (char& c : answer) c = FoldAscii(c);
  return answer == "y" || answer == "yes" ? AnswerYes : 7;
}
