// The lists are rewritten through a new file: it takes the old one's
// attributes, such as hidden, which the game's installer may have set.
#include <windows.h>

#include "install/install_fixture.h"

namespace {

DWORD AttributesOf(const std::string& path) {
  std::u16string wide = ToWide(path);
  return GetFileAttributesW(reinterpret_cast<const wchar_t*>(wide.c_str()));
}

TEST_F(InstallTest, ListsKeepTheirHiddenAttribute) {
  for (const char* list : {"vlk.hvl", "uninst.lst"}) {
    std::u16string wide = ToWide(Game(list));
    ASSERT_TRUE(SetFileAttributesW(reinterpret_cast<const wchar_t*>(wide.c_str()), FILE_ATTRIBUTE_HIDDEN));
  }
  ASSERT_EQ(InstallStandardUpdate(), InstallSucceeded);
  for (const char* list : {"vlk.hvl", "uninst.lst"}) EXPECT_TRUE(AttributesOf(Game(list)) & FILE_ATTRIBUTE_HIDDEN) << list;
}

}  // namespace
