#include "install/install.h"

#include <filesystem>

#include "app/app_state.h"
#include "install/install_fixture.h"
#include "support/refused_names.h"
#include "support/file_faults_injected.h"
#include "payload/payload.h"

namespace fs = std::filesystem;

namespace {

TEST_F(InstallTest, UpdatesTheGameAndItsLists) {
  EXPECT_EQ(InstallStandardUpdate(), InstallSucceeded);
  EXPECT_EQ(GameContents(), UpdatedGame());  // nothing staged or backed up is left
}

TEST_F(InstallTest, ShowsEachFileAndMovesBothBars) {
  ASSERT_EQ(InstallStandardUpdate(), InstallSucceeded);
  EXPECT_EQ(progress.statuses,
            (std::vector<std::u16string>{u"Installing \"VLK.hvl\".", u"Installing \"Game.pak\".",
                                         u"Installing \"data\\Map.pak\".", u"Installing \"data\\Sound.pak\".",
                                         u"Installing \"New.pak\"."}));
  EXPECT_EQ(progress.ranges, (std::vector<std::pair<int, uint32_t>>{{FileBarId, 65535}, {EntriesBarId, 5}}));
  EXPECT_EQ(progress.PositionsOf(EntriesBarId), (std::vector<uint32_t>{0, 1, 2, 3, 4, 5}));
  // Game.pak is 2 MiB + 5 bytes: three blocks.
  std::vector<uint32_t> file = progress.PositionsOf(FileBarId);
  std::vector<uint32_t> gameBlocks(file.begin() + 3, file.begin() + 6);
  uint64_t size = 2 * CopyBlockSize + 5;
  EXPECT_EQ(gameBlocks, (std::vector<uint32_t>{static_cast<uint32_t>(CopyBlockSize * 65535ull / size),
                                               static_cast<uint32_t>(2 * CopyBlockSize * 65535ull / size), 65535}));
}

TEST_F(InstallTest, JapaneseStatusLine) {
  UiLanguage = LanguageJapanese;
  ASSERT_EQ(InstallStandardUpdate(), InstallSucceeded);
  EXPECT_EQ(progress.statuses[1], u"\"Game.pak\"をインストール中");
}

TEST_F(InstallTest, FileBarIsHalfwayAfterTheFirstBlockOfTwo) {
  MakeUpdatePayload(work.File("u.exe"), {{"Two.pak", std::string(2 * CopyBlockSize, 'x')}});
  ASSERT_EQ(Install(work.File("u.exe")), InstallSucceeded);
  std::vector<uint32_t> file = progress.PositionsOf(FileBarId);
  EXPECT_EQ(file, (std::vector<uint32_t>{0, 0, 0, 32767, 65535}));
}

TEST_F(InstallTest, WorksWithoutAWindow) {
  withWindow = false;
  EXPECT_EQ(InstallStandardUpdate(), InstallSucceeded);
  EXPECT_EQ(GameContents(), UpdatedGame());
}

TEST_F(InstallTest, DamagedPayloadsTouchNothing) {
  FolderContents before = GameContents();
  std::string good = ReadBytes(MakeUpdatePayload(work.File("good.exe"), StandardUpdate()));
  struct Case {
    const char* what;
    std::string bytes;
    InstallResult expected;
  };
  std::string badMagic = good;
  badMagic.replace(ArchiveOffset, 12, "VELKAN ARC19");
  std::string shortContent = good.substr(0, good.size() - 1);
  std::string shortIndex = good.substr(0, ArchiveOffset + 16 + 100);
  const size_t list = ArchiveOffset + 16 + 5 * 128;  // "VLK.hvl", the first entry
  std::string badListMagic = std::string(good).replace(list, 8, "VHV_V3__");
  std::string listTooLong = good;
  ++listTooLong[list + 12];  // one row more than the entry holds, read from the next entry
  const Case cases[] = {
      {"shorter than the archive start", good.substr(0, ArchiveOffset - 1), InstallDamaged},
      {"no archive header", good.substr(0, ArchiveOffset), InstallIndexUnreadable},
      {"short index", shortIndex, InstallIndexUnreadable},
      {"neither magic", badMagic, InstallIndexUnreadable},
      {"last entry cut short", shortContent, InstallDamaged},
      {"shipped list unreadable", badListMagic, InstallDamaged},
      {"shipped list longer than its entry", listTooLong, InstallDamaged},
  };
  for (const Case& c : cases) {
    WriteBytes(work.File("bad.exe"), c.bytes);
    EXPECT_EQ(Install(work.File("bad.exe")), c.expected) << c.what;
    EXPECT_EQ(GameContents(), before) << c.what;
  }
  EXPECT_EQ(Install(work.File("missing.exe")), InstallIndexUnreadable);
}

TEST_F(InstallTest, AcceptsAtMost256Entries) {
  FolderContents before = GameContents();
  std::vector<PackEntry> entries;
  for (int i = 0; i < 257; ++i) entries.push_back(MemoryEntry("f" + std::to_string(i), "x"));
  MakePayloadFile(work.File("257.exe"), entries);
  EXPECT_EQ(Install(work.File("257.exe")), InstallDamaged);
  EXPECT_EQ(GameContents(), before);
  entries.pop_back();
  MakePayloadFile(work.File("256.exe"), entries);
  EXPECT_EQ(Install(work.File("256.exe")), InstallSucceeded);
  EXPECT_EQ(ReadBytes(Game("f255")), "x");
}

TEST_F(InstallTest, ChecksumMismatchInstallsNothing) {
  FolderContents before = GameContents();
  std::vector<UpdateFile> update = StandardUpdate();
  std::string payload = ReadBytes(MakeUpdatePayload(work.File("u.exe"), update));
  payload[payload.size() - 1] ^= 1;  // one byte of New.pak
  WriteBytes(work.File("u.exe"), payload);
  EXPECT_EQ(Install(work.File("u.exe")), InstallDamaged);
  EXPECT_EQ(GameContents(), before);
}

TEST_F(InstallTest, EmptyEntryPassesOnlyWithZeroChecksum) {
  MakeUpdatePayload(work.File("u.exe"), {{"Empty.pak", ""}});
  EXPECT_EQ(Install(work.File("u.exe")), InstallSucceeded);
  EXPECT_EQ(ReadBytes(Game("Empty.pak")), "");

  std::string list = VersionListBytes({{"Empty2.pak", "x"}});  // records a non-zero checksum
  MakePayloadFile(work.File("v.exe"), {MemoryEntry("VLK.hvl", list), MemoryEntry("Empty2.pak", "")});
  EXPECT_EQ(Install(work.File("v.exe")), InstallDamaged);
  EXPECT_FALSE(FileExists(Game("Empty2.pak")));
}

TEST_F(InstallTest, MissingSubfolderIsAWriteFailure) {
  FolderContents before = GameContents();
  MakeUpdatePayload(work.File("u.exe"), {{"Game.pak", "new"}, {"nosuch\\x.pak", "x"}});
  EXPECT_EQ(Install(work.File("u.exe")), InstallWriteFailed);
  EXPECT_EQ(GameContents(), before);
}

TEST_F(InstallTest, TargetThatCannotBeReplacedLeavesEveryFileOld) {
  FolderContents before = GameContents();
  fs::create_directories(Game("New.pak"));  // a folder where the new file should go
  before = GameContents();
  EXPECT_EQ(InstallStandardUpdate(), InstallWriteFailed);
  EXPECT_EQ(GameContents(), before);
  EXPECT_TRUE(fs::is_directory(Game("New.pak")));
}

TEST_F(InstallTest, ReadOnlyTargetIsReplaced) {
  fs::permissions(Game("Game.pak"), fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
  EXPECT_EQ(InstallStandardUpdate(), InstallSucceeded);
  EXPECT_EQ(GameContents(), UpdatedGame());
}

TEST_F(InstallTest, PayloadWithoutVersionListInstallsUnverifiedAtTheTop) {
  MakePayloadFile(work.File("u.exe"), {MemoryEntry("Game.pak", "unchecked"), MemoryEntry("Extra.pak", "more")});
  EXPECT_EQ(Install(work.File("u.exe")), InstallSucceeded);
  EXPECT_EQ(ReadBytes(Game("Game.pak")), "unchecked");
  EXPECT_EQ(ReadBytes(Game("Extra.pak")), "more");
}

TEST_F(InstallTest, EmptyArchiveStillUpdatesTheLists) {
  MakePayloadFile(work.File("u.exe"), {});
  EXPECT_EQ(Install(work.File("u.exe")), InstallSucceeded);
  EXPECT_EQ(ReadBytes(Game("uninst.lst")),
            std::string("lumentrail.exe\ngame.pak\ndata\\map.pak\n$dir data\n") + '\0');
  // Nothing to write into a folder that is not there: the list it lacks decides.
  fs::remove_all(Game(""));
  EXPECT_EQ(Install(work.File("u.exe")), InstallUninstallListFailed);
}

TEST_F(InstallTest, EntryWithEmptyNameIsSkippedButCounted) {
  MakePayloadFile(work.File("u.exe"), {MemoryEntry("", "nameless"), MemoryEntry("A.pak", "a")});
  EXPECT_EQ(Install(work.File("u.exe")), InstallSucceeded);
  EXPECT_EQ(progress.PositionsOf(EntriesBarId), (std::vector<uint32_t>{0, 1, 2}));
  EXPECT_EQ(ReadBytes(Game("A.pak")), "a");
}

TEST_F(InstallTest, WithoutAVersionListInTheFolderNoneIsCreated) {
  fs::remove(Game("vlk.hvl"));
  EXPECT_EQ(InstallStandardUpdate(), InstallSucceeded);
  EXPECT_FALSE(FileExists(Game("vlk.hvl")));
}

// A format-1 list holds names of 55 bytes at most: a longer shipped name is
// left out of it alone, and every other row is updated.
TEST_F(InstallTest, FormatOneVersionListStaysFormatOne) {
  WriteBytes(Game("vlk.hvl"), VersionListBytes({{"Game.pak", "old game"}}, 1));
  std::vector<UpdateFile> update = StandardUpdate();
  update.push_back({"data\\" + std::string(51, 'l'), "long"});
  ASSERT_EQ(Install(MakeUpdatePayload(work.File("u.exe"), update)), InstallSucceeded);
  update.pop_back();
  update[2].name = "data\\Sound.pak";
  EXPECT_EQ(Digest(ReadBytes(Game("vlk.hvl"))), Digest(VersionListBytes(update, 1)));
}

TEST_F(InstallTest, UninstallListProblemsAreReportedAfterTheFiles) {
  fs::remove(Game("uninst.lst"));
  EXPECT_EQ(InstallStandardUpdate(), InstallUninstallListFailed);
  FolderContents expected = UpdatedGame();
  expected.erase("uninst.lst");
  EXPECT_EQ(GameContents(), expected);
  EXPECT_FALSE(FileExists(Game("uninst.lst")));
}

TEST_F(InstallTest, RefusedNamesAreRefusedBeforeWriting) {
  FolderContents before = GameContents();
  for (const RefusedNames& set : RefusedNameTable()) {
    SCOPED_TRACE(set.names[0]);
    std::vector<UpdateFile> files;
    for (const std::string& name : set.names) files.push_back({name, "content of " + name});
    EXPECT_EQ(Install(MakeUpdatePayload(work.File("u.exe"), files)), set.result);
    EXPECT_EQ(GameContents(), before);
    EXPECT_FALSE(FileExists(work.File("escape.pak")));
  }
}

}  // namespace
