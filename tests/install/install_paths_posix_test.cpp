// Paths beyond the 780-unit buffers; Windows itself needs the long-path prefix
// to make such folders, so this runs on POSIX.
#include <filesystem>

#include "install/install_fixture.h"

namespace fs = std::filesystem;

namespace {

TEST_F(InstallTest, PathsTooLongForTheirBuffersAreRefused) {
  // A game folder of about 700 characters: the folder, a 90-byte name and
  // ".tmp" do not fit 780 units.
  std::string deep = std::string(220, 'd');
  std::string longFolder = Game(deep + "/" + deep + "/");
  longFolder += std::string(686 - longFolder.size(), 'e');
  fs::create_directories(longFolder);
  MakePayloadFile(work.File("u.exe"), {MemoryEntry(std::string(90, 'n'), "x")});
  std::u16string payload = ToWide(work.File("u.exe"));
  std::u16string folder = ToWide(longFolder);
  ASSERT_LT(folder.size() + 1 + 90, 780u);
  ASSERT_GT(folder.size() + 1 + 90 + 4, 779u);
  int32_t cancel = 0, abort = 0;
  EXPECT_EQ(InstallUpdateFrom(folder.c_str(), {payload.c_str(), nullptr, [] { return 0; }, &cancel, &abort, u"%s", &report}),
            InstallWriteFailed);
  EXPECT_EQ(std::string(report.detail), "the path is too long");  // refused before anything is written
  EXPECT_TRUE(fs::is_empty(longFolder));
}

}  // namespace
