// A path in a fixed buffer of N UTF-16 units, terminator included. A write that
// does not fit fails and writes nothing past the buffer, so a path is either
// whole or refused, never cut.
#pragma once

#include <cstddef>
#include <cstring>

#include "text/text.h"

template <size_t N = PathCapacity>
class PathBuffer {
 public:
  PathBuffer() noexcept { text_[0] = 0; }

  // FormatWide into the buffer (only %s); false, with an empty text, when the
  // result does not fit.
  template <typename... Texts>
  bool Format(const char16_t* format, const Texts*... texts) {
    return FormatWide(text_, N, format, texts...) >= 0;
  }
  // Appends `text`; false, with the text unchanged, when it does not fit.
  bool Append(const char16_t* text) {
    size_t used = length(), added = WideLength(text);
    if (added >= N - used) return false;
    std::memcpy(text_ + used, text, (added + 1) * sizeof(char16_t));
    return true;
  }

  const char16_t* c_str() const { return text_; }
  char16_t* data() { return text_; }
  static constexpr size_t capacity() { return N; }
  size_t length() const { return WideLength(text_); }
  bool empty() const { return text_[0] == 0; }

 private:
  char16_t text_[N];
};
