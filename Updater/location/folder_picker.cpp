#include "location/folder_picker.h"

#include <cstring>

#include "text/text.h"

namespace {
template <size_t N>
bool CopyWide(char16_t (&dest)[N], const char16_t* text) {
  size_t length = WideLength(text);
  if (length >= N) return false;
  std::memcpy(dest, text, (length + 1) * sizeof(char16_t));
  return true;
}
}  // namespace

bool CFolderBrowser::SetCaption(const char16_t* text) { return CopyWide(caption_, text); }

bool CFolderBrowser::SetPrompt(const char16_t* text) { return CopyWide(prompt_, text); }
