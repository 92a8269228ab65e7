// The Wine prefix's registry file, where the game's installer records its
// folder: the input is the whole of $WINEPREFIX/system.reg. The folder read
// holds no NUL and takes at most 8192 bytes with its own.
#include <cstdlib>

#include "fuzz_support.h"
#include "location/install_folder.h"
#include "text/text.h"

const size_t MaxInputSize = 1 << 20;

void FuzzOne(const uint8_t* data, size_t size) {
  static const std::string prefix = [] {
    setenv("WINEPREFIX", ScratchFolder().c_str(), 1);
    return ScratchFolder();
  }();
  WriteFileAt(prefix + "/system.reg", 0, data, size);
  size_t longest = 0;
  CheckFill<char16_t>({0, 1, 2, 260, PathCapacity, 4096, 5000}, [&](char16_t* folder, size_t capacity) {
    int result = ReadInstalledFolder(folder, capacity, u"TARN", u"ルーメン・トレイル");
    if (result == 1) longest = std::char_traits<char16_t>::length(folder);
    return result;
  });
  FUZZ_CHECK((longest + 1) * 2 <= 8192);
}
