#include "text/terminal_posix.h"

#include <iconv.h>
#include <langinfo.h>
#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstring>
#include <cwchar>

#include "text/text.h"

namespace {

const iconv_t NoConverter = reinterpret_cast<iconv_t>(-1);

bool LocaleIsUtf8() { return std::strcmp(nl_langinfo(CODESET), "UTF-8") == 0; }

// The locale is set once at start, so each direction is opened once.
iconv_t Converter(bool toLocale) {
  static const iconv_t to = iconv_open(nl_langinfo(CODESET), "UTF-8");
  static const iconv_t from = iconv_open("UTF-8", nl_langinfo(CODESET));
  return toLocale ? to : from;
}

// UTF-8 text into the locale's character set, one character at a time, so that
// only one that does not convert is lost: `missing` stands for it, or, when
// null, the conversion stops there and fails.
bool ConvertToLocale(std::string_view utf8, const char* missing, std::string* out) {
  if (LocaleIsUtf8()) {
    *out = utf8;
    return true;
  }
  iconv_t convert = Converter(true);
  std::string text(utf8);
  for (size_t at = 0; at < text.size();) {
    size_t length = DecodeChar(text.c_str() + at, EncodingUtf8).length;
    if (length == 0) length = 1;  // an embedded NUL
    char buffer[16];
    char* in = text.data() + at;
    char* outAt = buffer;
    size_t inLeft = length, outLeft = sizeof buffer;
    if (convert != NoConverter && iconv(convert, &in, &inLeft, &outAt, &outLeft) != static_cast<size_t>(-1)) {
      out->append(buffer, static_cast<size_t>(outAt - buffer));
    } else if (missing) {
      *out += missing;
    } else {
      return false;
    }
    at += length;
  }
  if (convert != NoConverter) {
    char buffer[16];
    char* outAt = buffer;
    size_t outLeft = sizeof buffer;
    iconv(convert, nullptr, nullptr, &outAt, &outLeft);  // back to the initial shift state
    out->append(buffer, static_cast<size_t>(outAt - buffer));
  }
  return true;
}

}  // namespace

std::string ToLocaleText(std::string_view utf8) {
  std::string out;
  ConvertToLocale(utf8, "?", &out);
  return out;
}

bool LocaleCanShow(std::string_view utf8) {
  std::string out;
  return ConvertToLocale(utf8, nullptr, &out);
}

std::string FromLocaleText(std::string_view text) {
  iconv_t convert = Converter(false);
  if (LocaleIsUtf8() || convert == NoConverter) return std::string(text);
  std::string in(text), out(text.size() * 4 + 16, '\0');
  char* inAt = in.data();
  char* outAt = out.data();
  size_t inLeft = in.size(), outLeft = out.size();
  iconv(convert, nullptr, nullptr, nullptr, nullptr);
  if (iconv(convert, &inAt, &inLeft, &outAt, &outLeft) == static_cast<size_t>(-1)) return std::string(text);
  out.resize(out.size() - outLeft);
  return out;
}

void WriteLocaleText(std::FILE* stream, std::string_view utf8) {
  std::string text = ToLocaleText(utf8);
  std::fputs(text.c_str(), stream);
  std::fflush(stream);
}

std::string FitToColumns(std::string_view utf8, int columns) {
  std::string text(utf8), out;
  int used = 0;
  for (size_t at = 0; at < text.size();) {
    DecodedChar c = DecodeChar(text.c_str() + at, EncodingUtf8);
    size_t length = c.length ? c.length : 1;
    bool control = c.code < 0x20 || (c.code >= 0x7F && c.code < 0xA0) || c.code == 0xFFFD;
    int width = control ? 1 : wcwidth(static_cast<wchar_t>(c.code));
    if (width < 0) width = 1;  // the locale cannot show it: it is written as '?'
    if (used + width > columns) break;
    out += control ? std::string("?") : text.substr(at, length);
    used += width;
    at += length;
  }
  return out;
}

std::string Printable(std::string_view utf8) { return FitToColumns(utf8, INT_MAX); }

LineRead ReadAnswerLine(int fd, std::string* line, const sigset_t* waitMask) {
  bool typed = isatty(fd);
  for (;;) {
    pollfd ready{fd, POLLIN, 0};
    if (ppoll(&ready, 1, nullptr, waitMask) < 0) {
      if (errno == EINTR) return LineRead::Interrupted;
      break;
    }
    char c;
    ssize_t n = read(fd, &c, 1);
    if (n < 0 && errno == EINTR) return LineRead::Interrupted;
    if (n < 0 && errno == EAGAIN) continue;
    if (n <= 0) break;
    if (c == '\n') {
      if (!line->empty() && line->back() == '\r') line->pop_back();
      if (!typed) std::fprintf(stderr, "%s\n", line->c_str());
      return LineRead::Line;
    }
    *line += c;
  }
  // The end of the input: an unfinished last line is still an answer.
  if (line->empty()) return LineRead::Ended;
  std::fprintf(stderr, "%s\n", typed ? "" : line->c_str());
  return LineRead::Line;
}
