#include "install/install_fixture.h"

#include <filesystem>

#include "app/app_state.h"
#include "app/messages.h"
#include "install/checksum.h"
#include "lists/version_list.h"
#include "support/file_faults_injected.h"

namespace fs = std::filesystem;

std::function<int(int)> InstallTest::onPoll;
int InstallTest::polls = 0;

namespace {
int TestPoll() {
  ++InstallTest::polls;
  return InstallTest::onPoll ? InstallTest::onPoll(InstallTest::polls) : 0;
}

int changes = 0, actAt = 0;
void (*action)() = nullptr;
void CountChange() {
  if (++changes == actAt) action();
}

std::string Digest(const std::string& bytes) {
  if (bytes.size() <= 80) return bytes;
  ContentChecksum sum{};
  UpdateContentChecksumReference(&sum, bytes.data(), static_cast<uint32_t>(bytes.size()));
  return std::to_string(bytes.size()) + " bytes, checksum " + std::to_string(ChecksumWord0(sum)) + "/" +
         std::to_string(ChecksumWord1(sum));
}
}  // namespace

std::vector<uint32_t> RecordedProgress::PositionsOf(int bar) const {
  std::vector<uint32_t> result;
  for (auto& [id, position] : positions)
    if (id == bar) result.push_back(position);
  return result;
}

FolderContents Contents(const std::string& folder, bool stat) {
  FolderContents contents;
  std::error_code e;
  for (fs::recursive_directory_iterator it(folder, e), end; it != end; it.increment(e)) {
    const fs::directory_entry& entry = *it;
    fs::file_status status = entry.symlink_status();
    const std::string name = entry.path().lexically_relative(folder).generic_string();
    std::string& value = contents[name];
    if (stat) {
      value = std::to_string(static_cast<int>(status.type())) + " " + std::to_string(entry.hard_link_count(e)) + " " +
              std::to_string(entry.last_write_time(e).time_since_epoch().count()) + " ";
    }
    if (fs::is_regular_file(status)) value += Digest(ReadBytes(entry.path().string()));
    else if (fs::is_symlink(status)) value += "link";
    else if (!stat) contents.erase(name);
  }
  return contents;
}

FolderContents Digested(FolderContents contents) {
  for (auto& [name, bytes] : contents) bytes = Digest(bytes);
  return contents;
}

void InstallTest::SetUp() {
  UiLanguage = LanguageEnglish;
  ResetGame();
}

void InstallTest::TearDown() {
  CancelRequested = AbortRequested = 0;
  InjectedFileFaults = FileFaults{};
  onPoll = nullptr;
}

std::vector<UpdateFile> InstallTest::StandardUpdate() {
  // Game.pak takes three blocks, the last of 5 bytes.
  std::string big(2 * CopyBlockSize + 5, '\0');
  for (size_t i = 0; i < big.size(); ++i) big[i] = static_cast<char>(i * 7 + i / 4096);
  return {{"New.pak", "new file"}, {"Game.pak", big}, {"data\\Map.pak", "new map"}, {"data\\Sound.pak", "new sound"}};
}

FolderContents InstallTest::UpdatedGame() {
  std::vector<UpdateFile> update = StandardUpdate();
  FolderContents game = OldGame();
  game["New.pak"] = "new file";
  game["Game.pak"] = update[1].content;
  game["data/Map.pak"] = "new map";
  game["data/sound.pak"] = "new sound";
  // Rows keep the game's spelling and take the update's checksums, the first
  // of two rows for one file only; new rows come last; a removed file's row goes.
  game["vlk.hvl"] = VersionListBytes({{"Game.pak", update[1].content},
                                      {"DATA\\Map.pak", "new map"},
                                      {"data\\sound.pak", "new sound"},
                                      {"GAME.PAK", "old game"},
                                      {"New.pak", "new file"}});
  game["uninst.lst"] = std::string("lumentrail.exe\ngame.pak\ndata\\map.pak\nnew.pak\ndata\\sound.pak\n$dir data\n") + '\0';
  return game;
}

void InstallTest::ResetGame() {
  CancelRequested = AbortRequested = 0;
  InjectedFileFaults = FileFaults{};
  onPoll = nullptr;
  polls = 0;
  fs::remove_all(work.File("game"));
  WriteFiles(work.File("game"), OldGame());
}

InstallResult InstallTest::Install(const std::string& payload) {
  report = InstallReport{};
  progress = RecordedProgress{};
  InjectedFileFaults.movesBeforeFlush = 0;
  InjectedFileFaults.unflushedWrites = 0;
  std::u16string payloadPath = ToWide(payload), folder = work.Wide("game");
  const size_t open = OpenHandles();
  InstallResult result =
      InstallUpdateFrom(folder.c_str(), {payloadPath.c_str(), withWindow ? &progress : nullptr, TestPoll,
                                         &CancelRequested, &AbortRequested,
                                         GetMessageText(MessageInstallingFormat), &report});
  EXPECT_EQ(InjectedFileFaults.movesBeforeFlush, 0) << "files moved into place before their bytes were flushed";
  EXPECT_EQ(OpenHandles(), open) << "files or folders left open";
  return result;
}

std::string InstallTest::GameState() const {
  FolderContents now = GameContents(), old = Digested(OldGame()), updated = Digested(UpdatedGame());
  VersionList list;
  if (!LoadVersionList(ToWide(Game("vlk.hvl")).c_str(), &list)) return "vlk.hvl does not read";
  if (now["uninst.lst"] != old["uninst.lst"] && now["uninst.lst"] != updated["uninst.lst"]) return "uninst.lst is neither";
  bool allOld = true, allNew = true;
  std::string wrong;
  for (auto& [name, bytes] : updated) {
    if (name == "vlk.hvl" || name == "uninst.lst") continue;
    bool isOld = old.count(name) ? now.count(name) && now[name] == old[name] : !now.count(name);
    bool isNew = now.count(name) && now[name] == bytes;
    allOld &= isOld;
    allNew &= isNew;
    if (!isOld && !isNew) wrong += name + " is neither old nor new; ";
  }
  if (!wrong.empty() || allOld || allNew) return wrong.empty() ? (allOld ? "old" : "new") : wrong;
  for (auto& [name, bytes] : old) {
    if (name != "vlk.hvl" && name != "uninst.lst" && now[name] != bytes && now[name + ".upd-backup"] != bytes)
      wrong += "the old " + name + " is lost; ";
  }
  return wrong.empty() ? "mixed" : wrong;
}

void InstallTest::RunCases(const std::vector<InstallCase>& cases, const std::function<void()>& check) {
  for (const InstallCase& c : cases) {
    SCOPED_TRACE(c.what);
    ResetGame();
    withWindow = true;
    std::string payload = c.prepare();
    FolderContents expected = c.folder == AsUpdated ? Digested(UpdatedGame()) : GameContents();
    EXPECT_EQ(Install(payload), c.result);
    FolderContents now = GameContents();
    for (auto& [name, content] : Digested(c.files)) {
      if (content == Gone) {
        expected.erase(name);
      } else {
        expected[name] = content;
      }
      if (c.folder == OnlyThese) {
        EXPECT_EQ(now.count(name) ? now[name] : Gone, content) << name;
      }
    }
    if (c.folder != OnlyThese) {
      EXPECT_EQ(now, expected);
    }
    // Nothing appears beside the game folder.
    for (auto& entry : fs::directory_iterator(work.path())) {
      std::string name = entry.path().filename().string();
      EXPECT_TRUE(entry.path().extension() == ".exe" || name == "game" || name == "outside") << name;
    }
    if (check) check();
  }
}

int InstallTest::CountChanges(const std::string& payload) {
  ActBeforeChange(0, nullptr);
  EXPECT_EQ(Install(payload), InstallSucceeded);
  ResetGame();
  return changes;
}

void InstallTest::ActBeforeChange(int k, void (*act)()) {
  changes = 0;
  actAt = k;
  action = act;
  InjectedFileFaults.beforeChange = CountChange;
}
