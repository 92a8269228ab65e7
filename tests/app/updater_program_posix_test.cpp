// The packed POSIX updater run as a process, the way a player runs it from a
// terminal: the Wine prefix's registry, questions answered on standard input,
// Cancel as Ctrl-C, the window closed as SIGTERM, and the exit status.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/file.h>
#include <fcntl.h>
#include <unistd.h>

#include <filesystem>
#include <memory>
#include <tuple>

#include "support/process_posix.h"
#include "support/test_files.h"

namespace fs = std::filesystem;

namespace {

// ルーメン・トレイル as Wine writes it in a key name.
const char kProductKey[] = "\\x30eb\\x30fc\\x30e1\\x30f3\\x30fb\\x30c8\\x30ec\\x30a4\\x30eb";
const char kTitle[] = "「ルーメン・トレイル」 Updater ver 1.01";

class UpdaterProgram : public ::testing::Test {
 protected:
  void SetUp() override {
    fs::create_directories(Game("data"));
    fs::create_directories(prefix + "/dosdevices");
    fs::create_directories(run);
    fs::create_directory_symlink("../drive_c", prefix + "/dosdevices/c:");
    WriteBytes(Game("LUMENTRAIL.exe"), "game");
    WriteBytes(Game("GFX.PAK"), "old gfx");  // the update spells it gfx.pak
    WriteBytes(Game("data/map.pak"), "old map");
    WriteBytes(Game("uninst.lst"), "LUMENTRAIL.exe\r\nGFX.PAK\r\n");
    fs::create_directories(root.File("update/data"));
    WriteBytes(root.File("update/gfx.pak"), "new gfx");
    WriteBytes(root.File("update/data/map.pak"), "new map");
    WriteBytes(root.File("update/script.pak"), "new script");
    Pack(root.File("update"), root.File("updater"));
    WriteRegistry(true, "Wow6432Node\\\\TARN", "\"InstalledFolder\"=\"C:\\\\Games\\\\LumenTrail\"");
  }

  std::string Game(const std::string& relative) const { return prefix + "/drive_c/Games/LumenTrail/" + relative; }

  void Pack(const std::string& from, const std::string& out) {
    std::string command = std::string(UPDATER_PACK_PATH) + " build --stub " + UPDATER_PATH + " --from " + from +
                          " --title '" + kTitle + "' --out " + out;
    ASSERT_EQ(std::system(command.c_str()), 0);
  }

  // system.reg of a 64-bit or 32-bit prefix with one key below Software.
  void WriteRegistry(bool win64, const std::string& keyBelowSoftware, const std::string& value) {
    WriteBytes(prefix + "/system.reg", std::string("WINE REGISTRY Version 2\n;; All keys relative to \\\\Machine\n\n") +
                                           (win64 ? "#arch=win64\n" : "#arch=win32\n") + "\n[Software\\\\Classes] 1\n\n" +
                                           "[Software\\\\" + keyBelowSoftware + "\\\\" + kProductKey +
                                           "] 1700000000\n#time=1d9\n" + value + "\n");
  }

  std::unique_ptr<ChildProcess> Start(const std::string& program, const std::string& lang = "en_US.UTF-8",
                                      const ChildOptions& options = {}, const std::string& term = "xterm") {
    std::vector<std::string> env{"PATH=/usr/bin:/bin", "HOME=" + root.path(), "WINEPREFIX=" + prefix,
                                 "XDG_RUNTIME_DIR=" + run, "LANG=" + lang, std::string("LOCPATH=") + TEST_LOCALE_DIR};
    if (!term.empty()) env.push_back("TERM=" + term);
    return std::make_unique<ChildProcess>(program, env, options);
  }

  // Runs the packed updater with these answers and returns its exit status.
  int Run(const std::string& answers, const std::string& lang = "en_US.UTF-8", const ChildOptions& options = {},
          const std::string& term = "xterm") {
    auto updater = Start(root.File("updater"), lang, options, term);
    updater->Send(answers);
    int status = updater->Finish();
    output = updater->Output();
    return status;
  }

  bool Said(const std::string& text) const { return output.find(text) != std::string::npos; }

  bool GameIsUpdated() const {
    return ReadBytes(Game("GFX.PAK")) == "new gfx" && ReadBytes(Game("data/map.pak")) == "new map" &&
           ReadBytes(Game("script.pak")) == "new script" && !FileExists(Game("gfx.pak"));
  }

  bool GameIsOld() const {
    for (auto& entry : fs::recursive_directory_iterator(prefix + "/drive_c"))
      if (entry.path().extension() == ".tmp") return false;
    return ReadBytes(Game("GFX.PAK")) == "old gfx" && ReadBytes(Game("data/map.pak")) == "old map" &&
           !FileExists(Game("script.pak"));
  }

  // Holds a named mutex's lock file as another process would.
  int HoldLock(const std::string& fileName) {
    int fd = open((run + "/" + fileName).c_str(), O_RDWR | O_CREAT, 0666);
    EXPECT_EQ(flock(fd, LOCK_EX | LOCK_NB), 0);
    return fd;
  }

  TempFolder root;
  std::string prefix = root.File("prefix");
  std::string run = root.File("run");
  std::string output;
};

TEST_F(UpdaterProgram, UpdatesTheGameInEnglish) {
  EXPECT_EQ(Run("y\n"), 0);
  EXPECT_TRUE(Said(std::string("[") + kTitle + "]\nInstall the update?")) << output;
  EXPECT_TRUE(Said("Installing \"data\\map.pak\".")) << output;
  EXPECT_TRUE(Said("Installation complete.")) << output;
  // The game's own spelling of a name is kept; no second file appears.
  EXPECT_TRUE(GameIsUpdated());
  EXPECT_EQ(ReadBytes(Game("uninst.lst")),
            std::string("lumentrail.exe\ngfx.pak\ndata\\map.pak\nscript.pak\n") + '\0');
}

TEST_F(UpdaterProgram, UpdatesTheGameInJapanese) {
  EXPECT_EQ(Run("yes\n", "ja_JP.UTF-8"), 0);
  EXPECT_TRUE(Said("アップデートを行いますか？")) << output;
  EXPECT_TRUE(Said("\"gfx.pak\"をインストール中")) << output;
  EXPECT_TRUE(Said("インストールが完了しました。")) << output;
  EXPECT_TRUE(GameIsUpdated());
}

TEST_F(UpdaterProgram, NotConfirmedChangesNothing) {
  for (const char* answer : {"n\n", "\n", "maybe\n", ""}) {
    EXPECT_EQ(Run(answer), 253) << answer;
    EXPECT_FALSE(Said("Installing")) << output;
    EXPECT_TRUE(GameIsOld());
  }
}

TEST_F(UpdaterProgram, SecondCopyEndsSilently) {
  int lock = HoldLock("Updater_for_LumenTrail_is_executing_.lock");
  EXPECT_EQ(Run("y\n"), 250);
  EXPECT_EQ(output, "");
  EXPECT_TRUE(GameIsOld());
  close(lock);
}

TEST_F(UpdaterProgram, RefusesWhileTheGameRuns) {
  int lock = HoldLock("Velkan_General_Interpreter_for_LumenTrail_is_executing_.lock");
  EXPECT_EQ(Run("y\n"), 254);
  EXPECT_TRUE(Said(std::string("[") + kTitle + "]\nUpdate cannot be installed because the game is currently running."))
      << output;
  EXPECT_FALSE(Said("Install the update?"));
  close(lock);
}

TEST_F(UpdaterProgram, UnreadablePayloadIsReportedUnderAnErrorCaption) {
  fs::copy_file(UPDATER_PATH, root.File("bare"));  // the program without a payload
  for (auto [lang, caption, text] :
       {std::tuple{"en_US.UTF-8", "[Error]", "Failed to get version information."},
        std::tuple{"ja_JP.UTF-8", "[エラー]", "バージョン情報の取得に失敗しました。"}}) {
    auto updater = Start(root.File("bare"), lang);
    EXPECT_EQ(updater->Finish(), 251);
    EXPECT_NE(updater->Output().find(std::string(caption) + "\n" + text), std::string::npos) << updater->Output();
  }
}

TEST_F(UpdaterProgram, NoRegisteredFolderAndTheUserDeclines) {
  fs::remove(prefix + "/system.reg");
  EXPECT_EQ(Run("\n"), 255);
  EXPECT_TRUE(Said("The installed folder cannot be found.\nDo you want to specify the installation folder?"));
  EXPECT_TRUE(Said("This will cancel the installation process."));
  EXPECT_TRUE(GameIsOld());
}

TEST_F(UpdaterProgram, PickedFoldersAreCheckedForTheGame) {
  fs::remove(prefix + "/system.reg");
  fs::create_directories(root.File("elsewhere/LUMENTRAIL.exe"));  // a folder of that name is not the game
  // A POSIX path without the game, then the game as a Windows path with a trailing separator.
  EXPECT_EQ(Run("y\n" + root.File("elsewhere") + "\nC:\\games\\lumentrail\\\ny\n"), 0);
  EXPECT_TRUE(Said("Select the installation folder.")) << output;
  EXPECT_TRUE(Said("\"ルーメン・トレイル\" was not found in the folder you selected.")) << output;
  EXPECT_TRUE(GameIsUpdated());

  EXPECT_EQ(Run("y\n\n"), 255);  // giving up at the picker
  EXPECT_TRUE(Said("This will cancel the installation process."));
}

TEST_F(UpdaterProgram, RegistryViewsAndValueTypes) {
  struct Case {
    const char* what;
    bool win64;
    std::string key, value;
    bool found;
  };
  const Case cases[] = {
      {"32-bit view of a 64-bit prefix", true, "Wow6432Node\\\\TARN", "\"InstalledFolder\"=\"C:\\\\Games\\\\LumenTrail\"", true},
      {"64-bit view is not the updater's", true, "TARN", "\"InstalledFolder\"=\"C:\\\\Games\\\\LumenTrail\"", false},
      {"32-bit prefix", false, "TARN", "\"InstalledFolder\"=\"C:\\\\Games\\\\LumenTrail\\\\\"", true},
      {"REG_EXPAND_SZ", true, "Wow6432Node\\\\TARN", "\"InstalledFolder\"=str(2):\"C:\\\\Games\\\\LumenTrail\"", false},
      {"other value name", true, "Wow6432Node\\\\TARN", "\"Folder\"=\"C:\\\\Games\\\\LumenTrail\"", false},
      {"key names without case", true, "wow6432node\\\\tarn", "\"installedfolder\"=\"C:\\\\Games\\\\LumenTrail\"", true},
      {"POSIX path value", false, "TARN", "\"InstalledFolder\"=\"" + Game("") + "\"", true},
  };
  for (const Case& c : cases) {
    WriteRegistry(c.win64, c.key, c.value);
    EXPECT_EQ(Run("n\n"), c.found ? 253 : 255) << c.what << "\n" << output;
    EXPECT_EQ(Said("The installed folder cannot be found."), !c.found) << c.what;
  }
}

TEST_F(UpdaterProgram, TrailingBackslashOfTheRegisteredFolderIsKept) {
  WriteRegistry(true, "Wow6432Node\\\\TARN", "\"InstalledFolder\"=\"C:\\\\Games\\\\LumenTrail\\\\\"");
  EXPECT_EQ(Run("y\n"), 0) << output;
  EXPECT_TRUE(GameIsUpdated());
}

// An update big enough to be interrupted while it installs.
class UpdaterProgramBig : public UpdaterProgram {
 protected:
  void SetUp() override {
    UpdaterProgram::SetUp();
    std::string big(96 << 20, '\0');
    for (size_t i = 0; i < big.size(); i += 4096) big[i] = static_cast<char>(i >> 12);
    WriteBytes(root.File("update/movie.pak"), big);
    Pack(root.File("update"), root.File("updater"));
  }
  // Starts the install, waits until it copies, sends `signal`, and returns the exit status.
  int Interrupt(int signal, const std::string& answers) {
    auto updater = Start(root.File("updater"));
    updater->Send(answers);
    EXPECT_TRUE(updater->WaitFor("Installing \"movie.pak\"."));
    updater->Signal(signal);
    int status = updater->Finish();
    output = updater->Output();
    return status;
  }
};

TEST_F(UpdaterProgramBig, CtrlCAsksAndNoGoesOn) {
  EXPECT_EQ(Interrupt(SIGINT, "y\nn\n"), 0) << output;
  EXPECT_TRUE(Said("Cancel the installation?")) << output;
  EXPECT_TRUE(Said("Installation complete."));
  EXPECT_TRUE(GameIsUpdated());
}

TEST_F(UpdaterProgramBig, CtrlCAnsweredYesCancels) {
  EXPECT_EQ(Interrupt(SIGINT, "y\ny\n"), 6) << output;
  EXPECT_TRUE(Said("Cancel the installation?"));
  EXPECT_FALSE(Said("Installation complete."));
  EXPECT_TRUE(GameIsOld());
}

TEST_F(UpdaterProgramBig, ClosingTheWindowAborts) {
  for (int signal : {SIGTERM, SIGHUP, SIGQUIT}) {
    EXPECT_EQ(Interrupt(signal, "y\n"), 7) << signal << output;
    EXPECT_FALSE(Said("Cancel the installation?"));
    EXPECT_TRUE(GameIsOld());
  }
}

}  // namespace
