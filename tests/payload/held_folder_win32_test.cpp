// On Windows the held folder cannot be renamed away while it is held, so that
// it cannot be replaced by a link to somewhere else either, and it is reached
// by the name it was held by only.
#include <gtest/gtest.h>

#include <windows.h>

#include <filesystem>

#include "payload/file.h"
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

// Below the held folder only its own spelling reaches a file; any other way of
// naming the folder (another case, the "\\?\" form) is refused, not let through
// unchecked.
TEST(HeldFolder, OtherSpellingsOfItAreRefused) {
  TempFolder folder;
  std::filesystem::create_directories(folder.File("game/data"));
  WriteBytes(folder.File("game/data/old.dat"), "old");
  std::u16string game = folder.Wide("game"), upper = game, verbatim = game;
  for (char16_t& c : upper) c = c >= u'a' && c <= u'z' ? static_cast<char16_t>(c - 32) : c;
  for (char16_t& c : verbatim) c = c == u'/' ? u'\\' : c;
  ASSERT_TRUE(HoldFolder(game.c_str()));
  for (const std::u16string& spelling : {upper, u"\\\\?\\" + verbatim}) {
    EXPECT_FALSE(RemoveFile((spelling + u"\\data\\old.dat").c_str()));
    CFileDX file;
    EXPECT_EQ(file.OpenWrite((spelling + u"\\data\\new.dat").c_str(), OpenWriteCreateNew), 0);
  }
  ReleaseHeldFolder();
  EXPECT_EQ(ReadBytes(folder.File("game/data/old.dat")), "old");
  EXPECT_FALSE(FileExists(folder.File("game/data/new.dat")));
}
