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
}  // namespace

std::vector<uint32_t> RecordedProgress::PositionsOf(int bar) const {
  std::vector<uint32_t> result;
  for (auto& [id, position] : positions)
    if (id == bar) result.push_back(position);
  return result;
}

void InstallTest::SetUp() {
  CancelRequested = AbortRequested = 0;
  InjectedFileFaults = FileFaults{};
  UiLanguage = LanguageEnglish;
  onPoll = nullptr;
  polls = 0;
  MakeOldGame();
}

void InstallTest::TearDown() {
  CancelRequested = AbortRequested = 0;
  InjectedFileFaults = FileFaults{};
  onPoll = nullptr;
}

std::string OldVersionList() {
  return VersionListBytes({{"Game.pak", "old game"},
                           {"DATA\\Map.pak", "old map"},
                           {"data\\sound.pak", "old sound"},
                           {"Removed.pak", "gone since"}});
}

void InstallTest::MakeOldGame() {
  fs::create_directories(work.File("game/data"));
  WriteBytes(Game("LUMENTRAIL.exe"), "game program");
  WriteBytes(Game("Game.pak"), "old game");
  WriteBytes(Game("data/Map.pak"), "old map");
  WriteBytes(Game("data/sound.pak"), "old sound");
  WriteBytes(Game("Keep.pak"), "not in the update");
  WriteBytes(Game("vlk.hvl"), OldVersionList());
  WriteBytes(Game("uninst.lst"), "LUMENTRAIL.exe\r\nGame.pak\r\nData\\Map.pak\r\n$Dir data\r\n");
}

std::vector<UpdateFile> InstallTest::StandardUpdate() const {
  std::string big(2 * CopyBlockSize + 5, '\0');
  for (size_t i = 0; i < big.size(); ++i) big[i] = static_cast<char>(i * 7 + i / 4096);
  return {{"Game.pak", big}, {"data\\Map.pak", "new map"}, {"data\\Sound.pak", "new sound"}, {"New.pak", "new file"}};
}

InstallResult InstallTest::Install(const std::string& payload) {
  report = InstallReport{};
  std::u16string payloadPath = ToWide(payload);
  std::u16string folder = work.Wide("game");
  return InstallUpdateFrom(folder.c_str(), {payloadPath.c_str(), withWindow ? &progress : nullptr, TestPoll,
                                            &CancelRequested, &AbortRequested, GetMessageText(MessageInstallingFormat),
                                            &report});
}

InstallResult InstallTest::InstallStandardUpdate() {
  return Install(MakeUpdatePayload(work.File("update.exe"), StandardUpdate()));
}

// Large contents are kept as their size and checksum, so that a failing
// comparison prints something readable.
std::string Digest(const std::string& bytes) {
  if (bytes.size() <= 80) return bytes;
  ContentChecksum sum{};
  UpdateContentChecksumReference(&sum, bytes.data(), static_cast<uint32_t>(bytes.size()));
  return std::to_string(bytes.size()) + " bytes, checksum " + std::to_string(ChecksumWord0(sum)) + "/" +
         std::to_string(ChecksumWord1(sum));
}

FolderContents InstallTest::GameContents() const {
  FolderContents contents;
  for (auto& entry : fs::recursive_directory_iterator(work.File("game"))) {
    if (entry.is_regular_file())
      contents[fs::relative(entry.path(), work.File("game")).generic_string()] = Digest(ReadBytes(entry.path().string()));
  }
  return contents;
}

FolderContents InstallTest::UpdatedGame() const {
  FolderContents contents = {
      {"LUMENTRAIL.exe", "game program"},
      {"Game.pak", Digest(StandardUpdate()[0].content)},
      {"data/Map.pak", "new map"},
      {"data/sound.pak", "new sound"},
      {"New.pak", "new file"},
      {"Keep.pak", "not in the update"},
  };
  // Rows keep the spelling the game had; checksums are the update's; new rows
  // are appended and the row of a removed file is gone.
  std::vector<UpdateFile> update = StandardUpdate();
  contents["vlk.hvl"] = Digest(VersionListBytes({{"Game.pak", update[0].content},
                                          {"DATA\\Map.pak", "new map"},
                                          {"data\\sound.pak", "new sound"},
                                          {"New.pak", "new file"}}));
  contents["uninst.lst"] =
      std::string("lumentrail.exe\ngame.pak\ndata\\map.pak\ndata\\sound.pak\nnew.pak\n$dir data\n") + '\0';
  return contents;
}

void InstallTest::ResetGame() {
  polls = 0;
  fs::remove_all(work.File("game"));
  MakeOldGame();
}

std::string InstallTest::GameState() const {
  FolderContents now = GameContents();
  VersionList list;
  if (!LoadVersionList(ToWide(Game("vlk.hvl")).c_str(), &list)) return "vlk.hvl does not read";
  std::string uninstall = now["uninst.lst"];
  now.erase("vlk.hvl");
  now.erase("uninst.lst");
  FolderContents updated = UpdatedGame();
  updated.erase("vlk.hvl");
  updated.erase("uninst.lst");
  FolderContents original = {{"LUMENTRAIL.exe", "game program"}, {"Game.pak", "old game"},
                             {"data/Map.pak", "old map"},        {"data/sound.pak", "old sound"},
                             {"Keep.pak", "not in the update"}};
  std::string oldUninstall = "LUMENTRAIL.exe\r\nGame.pak\r\nData\\Map.pak\r\n$Dir data\r\n";
  if (uninstall != oldUninstall && uninstall != UpdatedGame()["uninst.lst"]) return "uninst.lst is neither";
  if (now == original) return "old";
  if (now == updated) return "new";
  std::string differences;
  for (auto& [name, bytes] : now) {
    bool isOld = original.count(name) && original[name] == bytes;
    bool isNew = updated.count(name) && updated[name] == bytes;
    differences += name + (isOld ? "(old) " : isNew ? "(new) " : "(other) ");
  }
  return "mixed: " + differences;
}
