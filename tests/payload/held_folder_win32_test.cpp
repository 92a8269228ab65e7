// On Windows a held folder is reached by the name it was held by only (the
// security tests show that it cannot be renamed away while held).
#include <gtest/gtest.h>

#include <filesystem>

#include "payload/file.h"
#include "payload/filesystem.h"
#include "payload/held_folder.h"
#include "support/test_files.h"

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
