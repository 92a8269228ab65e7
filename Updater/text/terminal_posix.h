// Text to and from a terminal in the POSIX port: the locale's character set
// (LC_CTYPE as the program set it), display width, and typed lines.
#pragma once

#include <signal.h>

#include <cstdio>
#include <string>
#include <string_view>

// UTF-8 text in the locale's character set; a character it cannot show becomes '?'.
std::string ToLocaleText(std::string_view utf8);
// True when the locale's character set has every character of the UTF-8 text.
bool LocaleCanShow(std::string_view utf8);
// Typed text in the locale's character set as UTF-8; text that does not convert
// is kept as it is (the narrow conversions read UTF-8 and Shift-JIS themselves).
std::string FromLocaleText(std::string_view text);
// Writes UTF-8 text on `stream` in the locale's character set, at once.
void WriteLocaleText(std::FILE* stream, std::string_view utf8);

// UTF-8 text cut to at most `columns` display columns (East Asian wide
// characters take two); control characters and broken bytes become '?', so
// that a name can never move the cursor.
std::string FitToColumns(std::string_view utf8, int columns);
// The same, whatever its width: text from outside (a path, a command line) made
// safe to write on a terminal.
std::string Printable(std::string_view utf8);

enum class LineRead { Line, Ended, Interrupted };
// Reads one typed line from `fd` without its line end, byte by byte, so that
// nothing after it is taken from the next reader. Waits in ppoll with the
// signal mask `waitMask` (null: the current one): Interrupted when a signal
// came first (what was read stays in `line` for the next call), Ended at the
// end of the input (or when it cannot be read) before any byte of a line.
// What a terminal does not echo, the line read from a pipe, is written on
// standard error, so that a transcript reads as typed; after Ended the caller
// ends the prompt's line, or asks elsewhere on the same line.
LineRead ReadAnswerLine(int fd, std::string* line, const sigset_t* waitMask);
