// Links that another user planted in the game folder, before the install or
// while it runs, at the names the install writes: the temporary names, the
// backups, the lists' new copies and the game files themselves. The install
// runs with more rights than whoever planted them, so it must never write
// through one: everything outside the game folder stays as it was.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <map>

#include "install/install_fixture.h"
#include "support/file_faults_injected.h"

namespace fs = std::filesystem;

namespace {

// Content, modification time and link count of every entry below a folder.
using Snapshot = std::map<std::string, std::string>;

Snapshot SnapshotOf(const std::string& folder) {
  Snapshot snapshot;
  for (auto& entry : fs::recursive_directory_iterator(folder)) {
    struct stat st {};
    EXPECT_EQ(lstat(entry.path().c_str(), &st), 0);
    std::string state = std::to_string(st.st_mode) + " " + std::to_string(st.st_nlink) + " " +
                        std::to_string(st.st_mtim.tv_sec) + "." + std::to_string(st.st_mtim.tv_nsec);
    if (S_ISREG(st.st_mode)) state += " " + Digest(ReadBytes(entry.path().string()));
    snapshot[entry.path().lexically_relative(folder).generic_string()] = state;
  }
  return snapshot;
}

std::vector<std::string> Links(const std::string& folder) {
  std::vector<std::string> links;
  for (auto& entry : fs::recursive_directory_iterator(folder))
    if (entry.is_symlink()) links.push_back(entry.path().lexically_relative(folder).generic_string());
  return links;
}

class InstallLinksTest : public InstallTest {
 protected:
  void SetUp() override {
    InstallTest::SetUp();
    MakeOutside();
  }

  // Files a planted link may point at, all with an old time, and a name that
  // does not exist yet (creating it would be a write outside too).
  void MakeOutside() {
    fs::remove_all(Outside());
    fs::create_directories(Outside("folder"));
    for (const char* name : {"target.pak", "list.hvl", "uninst.lst", "folder/Map.pak", "folder/sound.pak"}) {
      WriteBytes(Outside(name), std::string("outside ") + name);
    }
    WriteBytes(Outside("vlk.hvl"), OldVersionList());
    const timespec old[2] = {{1000000000, 0}, {1000000000, 0}};
    for (auto& entry : fs::recursive_directory_iterator(Outside())) utimensat(AT_FDCWD, entry.path().c_str(), old, 0);
    outsideBefore = SnapshotOf(Outside());
    besideBefore = Beside();
  }

  std::string Outside(const std::string& relative = "") const {
    return work.File("outside") + (relative.empty() ? "" : "/" + relative);
  }

  void Plant(const std::string& gameRelative, const std::string& outsideRelative) {
    fs::create_symlink(Outside(outsideRelative), Game(gameRelative));
  }

  // The names beside the game folder.
  std::vector<std::string> Beside() const {
    std::vector<std::string> names;
    for (auto& entry : fs::directory_iterator(work.path()))
      if (entry.path().extension() != ".exe") names.push_back(entry.path().filename().string());  // payloads
    std::sort(names.begin(), names.end());
    return names;
  }

  void ExpectNothingOutsideChanged(const std::string& when = "") {
    EXPECT_EQ(SnapshotOf(Outside()), outsideBefore) << when;
    EXPECT_EQ(Beside(), besideBefore) << when;
  }

  Snapshot outsideBefore;
  std::vector<std::string> besideBefore;
};

TEST_F(InstallLinksTest, LinksAtTemporaryNamesAreRemovedNotWrittenThrough) {
  Plant("Game.pak.tmp", "target.pak");
  Plant("New.pak.tmp", "created.pak");  // dangling
  Plant("data/Map.pak.upd-backup", "target.pak");
  Plant("data/sound.pak.upd-backup", "created.pak");
  Plant("vlk.hvl.upd-new", "list.hvl");
  Plant("uninst.lst.upd-new", "uninst.lst");
  ASSERT_EQ(InstallStandardUpdate(), InstallSucceeded);
  ExpectNothingOutsideChanged();
  EXPECT_EQ(GameContents(), UpdatedGame());
  EXPECT_EQ(Links(Game("")), std::vector<std::string>{});
}

TEST_F(InstallLinksTest, GameFilesThatAreLinksBecomeRegularFilesInTheFolder) {
  fs::remove(Game("Game.pak"));
  Plant("Game.pak", "target.pak");
  fs::remove(Game("data/Map.pak"));
  Plant("data/Map.pak", "created.pak");  // dangling
  fs::remove(Game("vlk.hvl"));
  Plant("vlk.hvl", "vlk.hvl");
  fs::remove(Game("uninst.lst"));
  Plant("uninst.lst", "uninst.lst");
  ASSERT_EQ(InstallStandardUpdate(), InstallSucceeded);
  ExpectNothingOutsideChanged();
  EXPECT_EQ(Links(Game("")), std::vector<std::string>{});
  FolderContents expected = UpdatedGame();
  // The lists were read through the links: the outside list's rows and lines.
  expected["uninst.lst"] = std::string("outside uninst.lst\ngame.pak\ndata\\map.pak\ndata\\sound.pak\nnew.pak\n") + '\0';
  EXPECT_EQ(GameContents(), expected);
}

TEST_F(InstallLinksTest, HardLinkedGameFileKeepsTheOtherNamesContent) {
  fs::remove(Game("Game.pak"));
  fs::create_hard_link(Outside("target.pak"), Game("Game.pak"));
  outsideBefore = SnapshotOf(Outside());  // the link count is part of it
  ASSERT_EQ(InstallStandardUpdate(), InstallSucceeded);
  EXPECT_EQ(ReadBytes(Outside("target.pak")), "outside target.pak");
  EXPECT_EQ(GameContents(), UpdatedGame());
  // One link fewer now, but the same content and time.
  Snapshot now = SnapshotOf(Outside());
  EXPECT_EQ(now.erase("target.pak"), 1u);
  outsideBefore.erase("target.pak");
  EXPECT_EQ(now, outsideBefore);
}

// The same links planted again and again while the install runs: at one change
// of the file system after another (each run plants at one later point), and
// so also between the removal of a leftover name and its creation.
TEST_F(InstallLinksTest, LinksPlantedWhileTheInstallRuns) {
  // (link in the game folder, what it points at); "New" targets do not exist.
  static std::vector<std::pair<std::string, std::string>> links;
  static int changes, plantAt;
  links.clear();
  for (const char* name : {"Game.pak.tmp", "New.pak.tmp", "data/Map.pak.tmp", "data/sound.pak.tmp",
                           "Game.pak.upd-backup", "data/Map.pak.upd-backup", "data/sound.pak.upd-backup",
                           "vlk.hvl.upd-new", "uninst.lst.upd-new"}) {
    links.emplace_back(Game(name), Outside(std::string(name).rfind("New", 0) == 0 ? "created.pak" : "target.pak"));
  }
  std::string payload = MakeUpdatePayload(work.File("update.exe"), StandardUpdate());
  changes = 0;
  InjectedFileFaults.beforeChange = [] { ++changes; };
  ASSERT_EQ(Install(payload), InstallSucceeded);
  const int total = changes;
  ASSERT_GE(total, 30);

  for (plantAt = 1; plantAt <= total; ++plantAt) {
    std::string when = "(links planted before change " + std::to_string(plantAt) + " of " + std::to_string(total) + ")";
    ResetGame();
    MakeOutside();
    changes = 0;
    InjectedFileFaults.beforeChange = [] {
      if (++changes != plantAt) return;
      for (auto& [link, target] : links) {
        std::error_code ignored;
        if (!fs::exists(fs::symlink_status(link, ignored))) fs::create_symlink(target, link, ignored);
      }
    };
    InstallResult result = Install(payload);
    InjectedFileFaults.beforeChange = nullptr;
    EXPECT_TRUE(result == InstallSucceeded || result == InstallWriteFailed || result == InstallUninstallListFailed)
        << std::hex << result << " " << when;
    ExpectNothingOutsideChanged(when);
    // Whatever failed, no game file became a link.
    for (const std::string& link : Links(Game(""))) {
      EXPECT_TRUE(link.find(".tmp") != std::string::npos || link.find(".upd-") != std::string::npos)
          << link << " " << when;
    }
  }
}

// A subfolder of the game that is a link to a folder elsewhere: the update's
// files for that subfolder must not be written there.
TEST_F(InstallLinksTest, SubfolderThatIsALinkIsNotWrittenThrough) {
  fs::remove_all(Game("data"));
  fs::create_directory_symlink(Outside("folder"), Game("data"));
  InstallResult result = InstallStandardUpdate();
  EXPECT_NE(result, InstallSucceeded);
  ExpectNothingOutsideChanged();
}

// Players move big data folders to another drive through a link: an update
// that writes nothing there keeps the rows of the files behind it, and only the
// row of a file that is known to be gone leaves the version list.
TEST_F(InstallLinksTest, RowsBehindALinkedFolderStay) {
  fs::remove_all(Game("data"));
  fs::create_directory_symlink(Outside("folder"), Game("data"));
  ASSERT_EQ(Install(MakeUpdatePayload(work.File("u.exe"), {{"Game.pak", "new game"}})), InstallSucceeded);
  EXPECT_EQ(ReadBytes(Game("vlk.hvl")),
            VersionListBytes({{"Game.pak", "new game"}, {"DATA\\Map.pak", "old map"}, {"data\\sound.pak", "old sound"}}));
  ExpectNothingOutsideChanged();
}

// The same folder swapped for a link while the install runs, after the names
// were checked: before one change of the file system after another.
TEST_F(InstallLinksTest, SubfolderSwappedForALinkWhileTheInstallRuns) {
  static std::string data, moved, target;
  static int changes, swapAt;
  data = Game("data");
  moved = Game("data.moved");
  target = Outside("folder");
  std::string payload = MakeUpdatePayload(work.File("update.exe"), StandardUpdate());
  changes = 0;
  InjectedFileFaults.beforeChange = [] { ++changes; };
  ASSERT_EQ(Install(payload), InstallSucceeded);
  const int total = changes;
  for (swapAt = 1; swapAt <= total; ++swapAt) {
    std::string when = "(swapped before change " + std::to_string(swapAt) + " of " + std::to_string(total) + ")";
    ResetGame();
    MakeOutside();
    changes = 0;
    InjectedFileFaults.beforeChange = [] {
      if (++changes != swapAt) return;
      std::error_code ignored;
      fs::rename(data, moved, ignored);
      fs::create_directory_symlink(target, data, ignored);
    };
    Install(payload);
    InjectedFileFaults.beforeChange = nullptr;
    ExpectNothingOutsideChanged(when);
  }
}

}  // namespace
