// Links that another user planted in the game folder, before the install or
// while it runs, at the names the install writes and at the game's own files
// and folders. The install runs with more rights than whoever planted them, so
// it must never write through one: everything outside the game stays as it was.
#include <fcntl.h>
#include <sys/stat.h>

#include <filesystem>

#include "install/install_fixture.h"

namespace fs = std::filesystem;

namespace {

class InstallLinksTest : public InstallTest {
 protected:
  void SetUp() override {
    InstallTest::SetUp();
    ResetOutside();
  }

  // Files a planted link may point at, all with an old time.
  void ResetOutside() {
    fs::remove_all(Outside());
    fs::create_directories(Outside("folder"));
    for (const char* name : {"target.pak", "uninst.lst", "folder/Map.pak", "folder/sound.pak"})
      WriteBytes(Outside(name), std::string("outside ") + name);
    WriteBytes(Outside("vlk.hvl"), OldGame()["vlk.hvl"]);
    const timespec old[2] = {{1000000000, 0}, {1000000000, 0}};
    for (auto& entry : fs::recursive_directory_iterator(Outside())) utimensat(AT_FDCWD, entry.path().c_str(), old, 0);
    outsideBefore = Contents(Outside(), true);
  }

  std::string Outside(const std::string& relative = "") const {
    return work.File("outside") + (relative.empty() ? "" : "/" + relative);
  }
  // A link in the game to a file outside, in place of what the game has there.
  void Plant(const std::string& name, const std::string& target) {
    fs::remove(Game(name));
    fs::create_symlink(Outside(target), Game(name));
  }

  void ExpectNothingOutsideChanged() { EXPECT_EQ(Contents(Outside(), true), outsideBefore); }

  FolderContents outsideBefore;
};

TEST_F(InstallLinksTest, PlantedBeforeTheInstall) {
  auto standard = [this](std::function<void()> plant) {
    return [this, plant] {
      plant();
      return StandardPayload();
    };
  };
  auto dataLinked = [this] {
    fs::remove_all(Game("data"));
    fs::create_directory_symlink(Outside("folder"), Game("data"));
  };
  RunCases(
      {{"at the temporary names", standard([this] {
          for (const char* name : {"Game.pak.tmp", "data/Map.pak.upd-backup", "vlk.hvl.upd-new"})
            Plant(name, "target.pak");
          for (const char* name : {"New.pak.tmp", "data/sound.pak.upd-backup", "uninst.lst.upd-new"})
            Plant(name, "none");
        }), InstallSucceeded, AsUpdated, {}},
       // A list that is a link is neither read nor replaced: the files are
       // installed, and the uninstall list's step fails.
       {"at the game's files", standard([this] {
          Plant("Game.pak", "target.pak");
          Plant("data/Map.pak", "none");
          Plant("vlk.hvl", "vlk.hvl");
          Plant("uninst.lst", "uninst.lst");
        }), InstallUninstallListFailed, AsUpdated, {{"uninst.lst", "link"}, {"vlk.hvl", "link"}}},
       // A list that is a FIFO is not waited on.
       {"FIFOs at the lists' names", standard([this] {
          for (const char* list : {"vlk.hvl", "uninst.lst"}) fs::remove(Game(list)), mkfifo(Game(list).c_str(), 0666);
        }), InstallUninstallListFailed, AsUpdated, {{"uninst.lst", Gone}, {"vlk.hvl", Gone}}},
       // So is a list that has another name, which may be anyone's file.
       {"lists with another name", standard([this] {
          for (const char* list : {"vlk.hvl", "uninst.lst"}) {
            fs::remove(Game(list));
            fs::create_hard_link(Outside(list), Game(list));
          }
        }), InstallUninstallListFailed, AsUpdated,
        {{"uninst.lst", "outside uninst.lst"}, {"vlk.hvl", OldGame()["vlk.hvl"]}}},
       // Another name of the file outside keeps its content, and loses the link,
       // also at a staging name.
       {"a hard link", standard([this] {
          fs::remove(Game("Game.pak"));
          fs::create_hard_link(Outside("target.pak"), Game("Game.pak"));
          fs::create_hard_link(Outside("target.pak"), Game("New.pak.tmp"));
        }), InstallSucceeded, AsUpdated, {}},
       // One that writes there is refused before anything is written.
       {"a subfolder that is a link", standard(dataLinked), InstallWriteFailed, AsPrepared, {}},
       // Players move big data folders elsewhere through a link: an update that
       // writes nothing there keeps the rows of the files behind it.
       {"a subfolder the update does not write to", [&] {
          dataLinked();
          return MakeUpdatePayload(work.File("u.exe"), {{"Game.pak", "new game"}});
        }, InstallSucceeded, OnlyThese,
        {{"vlk.hvl", VersionListBytes({{"Game.pak", "new game"}, {"DATA\\Map.pak", "old map"},
                                       {"data\\sound.pak", "old sound"}, {"GAME.PAK", "old game"}})}}}},
      [this] {
        // The game's other names of files outside go first, so that their link counts are back.
        for (const char* list : {"vlk.hvl", "uninst.lst"}) fs::remove(Game(list));
        ExpectNothingOutsideChanged();
        ResetOutside();
      });
}

// Links planted anew at every name the install writes, or the data folder
// swapped for a link after the names were checked: before one change of the
// file system after another.
TEST_F(InstallLinksTest, PlantedWhileTheInstallRuns) {
  static std::string game, outside;
  game = Game("");
  outside = Outside() + "/";
  const std::string payload = StandardPayload();
  const int total = CountChanges(payload);
  auto plant = [] {
    for (const char* name : {"Game.pak.tmp", "New.pak.tmp", "data/Map.pak.tmp", "data/sound.pak.tmp",
                             "Game.pak.upd-backup", "data/Map.pak.upd-backup", "data/sound.pak.upd-backup",
                             "vlk.hvl.upd-new", "uninst.lst.upd-new"}) {
      std::error_code ignored;
      fs::create_symlink(outside + (name[0] == 'N' ? "none" : "target.pak"), game + name, ignored);
    }
  };
  auto swap = [] {
    std::error_code ignored;
    fs::rename(game + "data", game + "data.moved", ignored);
    fs::create_directory_symlink(outside + "folder", game + "data", ignored);
  };
  for (int k = 1; k <= total; ++k) {
    for (void (*act)() : {+plant, +swap}) {
      SCOPED_TRACE("before change " + std::to_string(k) + " of " + std::to_string(total));
      ResetGame();
      ActBeforeChange(k, act);
      Install(payload);
      ExpectNothingOutsideChanged();
      // Whatever failed, no game file became a link.
      for (auto& [name, content] : GameContents())
        EXPECT_TRUE(content != "link" || name == "data" || name.find(".tmp") != std::string::npos ||
                    name.find(".upd-") != std::string::npos)
            << name;
      ResetOutside();
    }
  }
}

}  // namespace
