// Files of 2 GiB and more as a 32-bit POSIX build sees them (the linux32 preset
// runs this as i686 code): positions past 2 and 4 GiB, the whole size, and an
// uninstall list too large to read, which stays as it is.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "lists/uninstall_list.h"
#include "payload/file.h"
#include "support/test_files.h"

namespace {

TEST(LargeFilePosix, PositionsPastTwoAndFourGiB) {
  TempFolder folder;
  // A sparse file of 4 GiB + 9 bytes with text at 2 GiB and at 4 GiB + 5
  // (written through the library's own 64-bit positions).
  {
    std::ofstream out(folder.File("big.dat"), std::ios::binary);
    out.seekp(std::streamoff{1} << 31);
    out.write("half", 4);
    out.seekp((std::streamoff{1} << 32) + 5);
    out.write("tail", 4);
    ASSERT_TRUE(out.good()) << "the file system takes no sparse 4 GiB file";
  }
  CFileDX file;
  ASSERT_EQ(file.OpenRead(folder.Wide("big.dat").c_str()), 1);
  EXPECT_EQ(file.GetSize(), (uint64_t{1} << 32) + 9);
  char buffer[4];
  ASSERT_EQ(file.Seek(0x80000000u, 0), 1);
  ASSERT_EQ(file.Read(buffer, 4), 4u);
  EXPECT_EQ(std::string(buffer, 4), "half");
  ASSERT_EQ(file.Seek(5, 1), 1);
  ASSERT_EQ(file.Read(buffer, 4), 4u);
  EXPECT_EQ(std::string(buffer, 4), "tail");
  file.Close();

  std::filesystem::create_directory(folder.File("game"));
  std::filesystem::rename(folder.File("big.dat"), folder.File("game/uninst.lst"));
  std::u16string name = u"new.pak";
  EXPECT_FALSE(UpdateUninstallList(folder.Wide("game").c_str(), &name, 1));
  EXPECT_EQ(std::filesystem::file_size(folder.File("game/uninst.lst")), (uint64_t{1} << 32) + 9);
}

}  // namespace
