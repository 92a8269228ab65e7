// On Windows the held folder cannot be renamed away while it is held, so that
// it cannot be replaced by a link to somewhere else either.
#include <gtest/gtest.h>

#include <windows.h>

#include <filesystem>

#include "payload/filesystem.h"
#include "payload/held_folder.h"
#include "support/test_files.h"

namespace {

TEST(HeldFolder, CannotBeRenamedWhileHeld) {
  TempFolder folder;
  std::filesystem::create_directories(folder.File("game"));
  std::u16string game = folder.Wide("game"), moved = folder.Wide("moved");
  auto wide = [](const std::u16string& s) { return reinterpret_cast<const wchar_t*>(s.c_str()); };

  ASSERT_TRUE(HoldFolder(game.c_str()));
  EXPECT_FALSE(MoveFileExW(wide(game), wide(moved), 0));
  ReleaseHeldFolder();
  EXPECT_TRUE(MoveFileExW(wide(game), wide(moved), 0));
}

}  // namespace
