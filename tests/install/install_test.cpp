// The install procedure end to end: each case prepares the game folder and a
// payload, and states the result and how the folder must look afterwards.
#include "install/install.h"

#include <filesystem>

#include "app/app_state.h"
#include "install/install_fixture.h"
#include "payload/payload.h"
#include "support/refused_names.h"

namespace fs = std::filesystem;

namespace {

TEST_F(InstallTest, Cases) {
  const std::string good = ReadBytes(StandardPayload());
  const size_t list = ArchiveOffset + 16 + 5 * 128;  // the shipped list, the first entry
  auto bytes = [&](std::string content) {
    return [this, content] {
      WriteBytes(work.File("u.exe"), content);
      return work.File("u.exe");
    };
  };
  auto edited = [&](size_t at, const std::string& with) { return bytes(std::string(good).replace(at, with.size(), with)); };
  auto packed = [&](std::vector<PackEntry> entries) {
    return [this, entries] { return MakePayloadFile(work.File("u.exe"), entries); };
  };
  auto update = [&](std::vector<UpdateFile> files) {
    return [this, files] { return MakeUpdatePayload(work.File("u.exe"), files); };
  };
  auto standard = [&](std::function<void()> change) {
    return [this, change] {
      change();
      return StandardPayload();
    };
  };
  std::vector<PackEntry> entries;
  for (int i = 0; i < 257; ++i) entries.push_back(MemoryEntry("f" + std::to_string(i), "x"));
  // A format-1 row holds a name of 55 bytes: a longer one is left out alone.
  std::vector<UpdateFile> withLongRows = StandardUpdate(), formatOne = StandardUpdate();
  withLongRows.push_back({"data\\" + std::string(50, 'f'), "fits"});
  withLongRows.push_back({"data\\" + std::string(51, 'l'), "too long"});
  std::swap(formatOne[0], formatOne[1]);
  formatOne.push_back(withLongRows[4]);

  std::vector<InstallCase> cases = {
      {"standard", standard([] {}), InstallSucceeded, AsUpdated, {}},
      {"without a window", standard([this] { withWindow = false; }), InstallSucceeded, AsUpdated, {}},
      {"read-only target", standard([this] { fs::permissions(Game("Game.pak"), fs::perms::owner_read); }),
       InstallSucceeded, AsUpdated, {}},
      {"a longer leftover at a staging name", standard([this] { WriteBytes(Game("Game.pak.tmp"), std::string(3 << 20, 'x')); }),
       InstallSucceeded, AsUpdated, {}},
      {"shorter than the archive", bytes(good.substr(0, ArchiveOffset - 1)), InstallDamaged, AsPrepared, {}},
      {"no archive header", bytes(good.substr(0, ArchiveOffset)), InstallIndexUnreadable, AsPrepared, {}},
      {"short index", bytes(good.substr(0, ArchiveOffset + 16 + 100)), InstallIndexUnreadable, AsPrepared, {}},
      {"neither magic", edited(ArchiveOffset, "VELKAN ARC19"), InstallIndexUnreadable, AsPrepared, {}},
      {"missing payload", [this] { return work.File("missing.exe"); }, InstallIndexUnreadable, AsPrepared, {}},
      {"last entry cut short", bytes(good.substr(0, good.size() - 1)), InstallDamaged, AsPrepared, {}},
      {"shipped list unreadable", edited(list, "VHV_V3__"), InstallDamaged, AsPrepared, {}},
      {"shipped list longer than its entry", edited(list + 12, "\x05"), InstallDamaged, AsPrepared, {}},
      {"one byte of content differs", edited(good.size() - 1, "\x01"), InstallDamaged, AsPrepared, {}},
      {"second checksum word differs", edited(list + 16 + 256 - 1, "\x7f"), InstallDamaged, AsPrepared, {}},
      {"257 entries", packed(entries), InstallDamaged, AsPrepared, {}},
      {"256 entries", packed({entries.begin(), entries.end() - 1}), InstallSucceeded, OnlyThese, {{"f255", "x"}}},
      {"empty entry, zero checksum", update({{"Empty.pak", ""}}), InstallSucceeded, OnlyThese, {{"Empty.pak", ""}}},
      {"empty entry, other checksum",
       packed({MemoryEntry("VLK.hvl", VersionListBytes({{"Empty.pak", "x"}})), MemoryEntry("Empty.pak", "")}),
       InstallDamaged, AsPrepared, {}},
      {"missing subfolder", update({{"Game.pak", "new"}, {"nosuch\\x.pak", "x"}}), InstallWriteFailed, AsPrepared, {}},
      {"folder at a new file's name", standard([this] { fs::create_directories(Game("New.pak")); }),
       InstallWriteFailed, AsPrepared, {}},
      {"no shipped list: unverified, at the top", packed({MemoryEntry("Game.pak", "as is"), MemoryEntry("B.pak", "b")}),
       InstallSucceeded, OnlyThese, {{"Game.pak", "as is"}, {"B.pak", "b"}}},
      {"nameless entry skipped", packed({MemoryEntry("", "nameless"), MemoryEntry("A.pak", "a")}), InstallSucceeded,
       OnlyThese, {{"A.pak", "a"}}},
      {"empty archive: the lists still change", packed({}), InstallSucceeded, OnlyThese,
       {{"uninst.lst", std::string("lumentrail.exe\ngame.pak\ndata\\map.pak\n$dir data\n") + '\0'}}},
      {"empty archive, no folder: nothing is written without the folder held", [&, empty = packed({})] {
         fs::remove_all(Game(""));
         return empty();
       }, InstallWriteFailed, OnlyThese, {}},
      {"no version list in the game", standard([this] { fs::remove(Game("vlk.hvl")); }), InstallSucceeded,
       AsUpdated, {{"vlk.hvl", Gone}}},
      {"format-1 version list", [&, payload = update(withLongRows)] {
         WriteBytes(Game("vlk.hvl"), VersionListBytes({{"Game.pak", "old game"}}, 1));
         return payload();
       }, InstallSucceeded, OnlyThese, {{"vlk.hvl", VersionListBytes(formatOne, 1)}}},
      {"no uninstall list: reported after the files", standard([this] { fs::remove(Game("uninst.lst")); }),
       InstallUninstallListFailed, AsUpdated, {{"uninst.lst", Gone}}},
      // The uninstall list normalised: a byte order mark stays; CR, LF and blank
      // lines end lines, a NUL ends the text; leading blanks go, trailing ones
      // stay; Shift-JIS becomes UTF-8 ("データ"); lines are lower-cased and
      // listed once, "$" lines last; a line too long for the updater stays as it
      // stands, in its place; the names added skip those listed in any case
      // (a line behind the byte order mark is another line).
      {"uninstall list rules", standard([this] {
         WriteBytes(Game("uninst.lst"), "\xef\xbb\xbf" "A\r\r\n\t$Dir x\n  \x83\x66\x81\x5b\x83\x5e\\B.DAT \rNEW.PAK\n" +
                                          std::string(790, 'L') + "\ra\n" + std::string("\0after", 6));
       }), InstallSucceeded, AsUpdated,
       {{"uninst.lst", "\xef\xbb\xbf" "a\n\xe3\x83\x87\xe3\x83\xbc\xe3\x82\xbf\\b.dat \nnew.pak\n" + std::string(790, 'L') +
                           "\na\ngame.pak\ndata\\map.pak\ndata\\sound.pak\n$dir x\n" + '\0'}}},
      {"names that only look like devices", update({{"COM10.pak", "a"}, {"Console", "b"}, {"lpt0", "c"}, {"nul1", "d"}}),
       InstallSucceeded, OnlyThese, {{"COM10.pak", "a"}, {"Console", "b"}, {"lpt0", "c"}, {"nul1", "d"}}},
      {"two folders of one name at different places", [&, payload = update({{"a\\data\\x.pak", "x"}, {"b\\data\\y.pak", "y"}})] {
         fs::create_directories(Game("a/data")), fs::create_directories(Game("b/data"));
         return payload();
       }, InstallSucceeded, OnlyThese, {{"a/data/x.pak", "x"}, {"b/data/y.pak", "y"}, {"a/data/y.pak", Gone}}},
      // A row stays for a file this run creates under another spelling, for a
      // name Windows finds without its trailing dots and blanks, and for a path
      // that leaves the game folder, where nothing is looked at.
      {"rows of files found as Windows finds them", [&, payload = update({{"data\\map.pak", "new map"}})] {
         fs::remove(Game("data/Map.pak"));
         WriteBytes(Game("vlk.hvl"), VersionListBytes({{"DATA\\Map.pak", "old map"}, {"LUMENTRAIL.exe. ", "game program"},
                                                       {"Gone.pak.", "gone"}, {"..\\Gone.pak", "outside"}}));
         return payload();
       }, InstallSucceeded, OnlyThese,
       {{"data/map.pak", "new map"},
        {"vlk.hvl", VersionListBytes({{"DATA\\Map.pak", "new map"}, {"LUMENTRAIL.exe. ", "game program"},
                                      {"..\\Gone.pak", "outside"}})}}},
  };
  for (const RefusedNames& set : RefusedNameTable()) {
    std::vector<UpdateFile> files;
    for (const std::string& name : set.names) files.push_back({name, "content of " + name});
    cases.push_back({"refused " + set.names[0], update(files), set.result, AsPrepared, {}});
  }

  RunCases(cases);
}

// Where no system call failed, the cause says what happened.
TEST_F(InstallTest, CauseSaysWhatHappened) {
  const std::string payload = StandardPayload(), good = ReadBytes(payload);
  auto detail = [&](std::function<void()> change, const std::string& path) {
    ResetGame();
    change();
    Install(path);
    return std::string(report.detail);
  };
  EXPECT_EQ(detail([this] { WriteBytes(Game("uninst.lst"), ""); }, payload), "the list is empty");
  EXPECT_EQ(detail([&] { WriteBytes(work.File("cut.exe"), good.substr(0, ArchiveOffset + 16 + 64)); }, work.File("cut.exe")),
            "the archive index is cut short, or too large for the memory there is");
  EXPECT_EQ(detail([this] { fs::permissions(Game("uninst.lst"), fs::perms::owner_read); }, payload),
            "the file is read-only");
  fs::permissions(Game("uninst.lst"), fs::perms::owner_all);  // Windows removes no read-only file
}

TEST_F(InstallTest, ProgressShowsEachFileAndMovesBothBars) {
  ASSERT_EQ(InstallStandardUpdate(), InstallSucceeded);
  EXPECT_EQ(progress.statuses, (std::vector<std::u16string>{u"Installing \"VLK.hvl\".", u"Installing \"New.pak\".",
                                                            u"Installing \"Game.pak\".", u"Installing \"data\\Map.pak\".",
                                                            u"Installing \"data\\Sound.pak\"."}));
  EXPECT_EQ(progress.ranges, (std::vector<std::pair<int, uint32_t>>{{FileBarId, 65535}, {EntriesBarId, 5}}));
  EXPECT_EQ(progress.PositionsOf(EntriesBarId), (std::vector<uint32_t>{0, 1, 2, 3, 4, 5}));
  // 0 at the start of each entry, then after each block (Game.pak: 2 MiB + 5 bytes).
  const uint64_t size = 2 * CopyBlockSize + 5;
  const uint32_t first = CopyBlockSize * 65535ull / size, second = 2 * CopyBlockSize * 65535ull / size;
  EXPECT_EQ(progress.PositionsOf(FileBarId),
            (std::vector<uint32_t>{0, 0, 0, 65535, 0, first, second, 65535, 0, 65535, 0, 65535}));
}

// Cancel, close and quit reach the procedure only through its polls: at any
// poll the run ends with nothing committed, and cancel wins over close.
TEST_F(InstallTest, StopAtAnyPoll) {
  const std::string payload = StandardPayload();
  ASSERT_EQ(Install(payload), InstallSucceeded);
  const int total = polls;
  enum Stop { Cancel, Close, Quit, CancelAndClose };
  for (Stop stop : {Cancel, Close, Quit, CancelAndClose}) {
    for (int at = 1; at <= total; ++at) {
      ResetGame();
      FolderContents before = GameContents();
      onPoll = [at, stop](int n) {
        if (n != at) return 0;
        if (stop == Cancel || stop == CancelAndClose) CancelRequested = 1;
        if (stop == Close || stop == CancelAndClose) AbortRequested = 1;
        return stop == Quit ? 1 : 0;
      };
      EXPECT_EQ(Install(payload), stop == Cancel || stop == CancelAndClose ? InstallCancelled : InstallAborted)
          << "stop " << stop << " at poll " << at;
      EXPECT_EQ(GameContents(), before) << "stop " << stop << " at poll " << at;
    }
  }
}

}  // namespace
