// The Wine prefix's registry file, where the game's installer records its
// folder: the input is the whole of $WINEPREFIX/system.reg.
#include <cstdlib>

#include "fuzz_support.h"
#include "location/install_folder.h"
#include "text/text.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > 1 << 20) return -1;
  static const std::string prefix = [] {
    setenv("WINEPREFIX", ScratchFolder().c_str(), 1);
    return ScratchFolder();
  }();
  WriteFileAt(prefix + "/system.reg", 0, data, size);

  std::u16string found;
  bool foundAlready = false;
  // Refused untouched while the value does not fit; then the same value in
  // every larger buffer, with no NUL inside and at most 8192 bytes with its own.
  for (size_t capacity : {size_t{0}, size_t{1}, size_t{2}, size_t{260}, PathCapacity, size_t{4096}, size_t{5000}}) {
    ExactBuffer<char16_t> folder(capacity);
    int result = ReadInstalledFolder(folder.get(), capacity, u"TARN", u"ルーメン・トレイル");
    FUZZ_CHECK(result == 0 || result == 1);
    if (result == 0) {
      FUZZ_CHECK(folder.Untouched());
      FUZZ_CHECK(!foundAlready);
      continue;
    }
    std::u16string value;
    FUZZ_CHECK(folder.Text(&value));
    FUZZ_CHECK((value.size() + 1) * 2 <= 8192);
    if (foundAlready) FUZZ_CHECK(value == found);
    found = value;
    foundAlready = true;
  }
  return 0;
}
