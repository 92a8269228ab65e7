// The packed POSIX updater run as a process, the way a player runs it from a
// terminal: the Wine prefix's registry, questions answered on standard input
// or on a pseudo-terminal, Cancel as Ctrl-C, the window closed as SIGTERM, the
// screen it leaves, and the exit status.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/file.h>
#include <fcntl.h>
#include <unistd.h>

#include <filesystem>
#include <memory>
#include <regex>
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

  // Lets another user read the prefix and the updater and make lock files.
  void LetIn(int user) {
    fs::permissions(root.path(), fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                                     fs::perms::others_read | fs::perms::others_exec);
    ASSERT_EQ(chown(run.c_str(), user, user), 0);
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
  for (auto [answer, transcript] : {std::pair{"n\n", "n\n"}, {"\n", "\n"}, {"maybe\n", "maybe\n"}, {"", "\n"}}) {
    EXPECT_EQ(Run(answer), 253) << answer;
    EXPECT_TRUE(Said(std::string("[y/N] ") + transcript + "nothing was changed\n")) << output;
    EXPECT_FALSE(Said("Installing")) << output;
    EXPECT_TRUE(GameIsOld());
  }
}

// Yes in the player's language, as rpmatch reads it; everything else is No.
TEST_F(UpdaterProgram, AnswersInThePlayersLanguage) {
  for (auto [lang, answer, status] :
       {std::tuple{"ja_JP.UTF-8", "はい\n", 0}, {"ja_JP.UTF-8", "ｙ\n", 0}, {"ja_JP.eucJP", "\xa4\xcf\xa4\xa4\n", 0},
        {"ja_JP.UTF-8", "いいえ\n", 253}, {"en_US.UTF-8", "はい\n", 253}}) {
    EXPECT_EQ(Run(answer, lang), status) << lang << " " << answer << "\n" << output;
  }
}

// Control sequences only where a terminal understands them, and text in the
// locale's character set.
TEST_F(UpdaterProgram, OutputFitsTheTerminal) {
  const std::string eucJpComplete = "\xb4\xb0\xce\xbb\xa4\xb7\xa4\xde\xa4\xb7\xa4\xbf";  // 完了しました
  struct Case {
    Streams streams;
    const char* term;
    const char* lang;
    std::string said;
  };
  const Case cases[] = {
      {Streams::Terminal, "dumb", "en_US.UTF-8", "Installing \"gfx.pak\".\r\n"},
      {Streams::Terminal, "", "en_US.UTF-8", "Installing \"gfx.pak\".\r\n"},
      {Streams::Pipes, "xterm", "en_US.UTF-8", "Installing \"gfx.pak\".\n"},
      {Streams::Pipes, "xterm", "ja_JP.eucJP", eucJpComplete},
  };
  for (const Case& c : cases) {
    ChildOptions options;
    options.streams = c.streams;
    EXPECT_EQ(Run("y\n", c.lang, options, c.term), 0) << c.term << " " << c.lang;
    EXPECT_FALSE(Said("\x1b[")) << c.term << " " << c.lang << "\n" << output;
    EXPECT_TRUE(Said(c.said)) << c.term << " " << c.lang << "\n" << output;
    EXPECT_FALSE(Said("完了")) << output;
  }
}

// At 80 columns a long Japanese name is cut to fit its row, so that the frame
// (title, status, two bars) is redrawn in place and cleared at the end.
TEST_F(UpdaterProgram, LongNamesKeepTheFrameInPlace) {
  WriteBytes(root.File("update/長い名前のファイル長い名前のファイル長い名前のファイル長い名前のファイルです.pak"),
             "long");
  Pack(root.File("update"), root.File("updater"));
  const std::string caption = std::string("[") + kTitle + "]";
  for (auto [lang, question, status, complete] :
       {std::tuple{"en_US.UTF-8", "Install the update?", "Installing \"長い名前", "Installation complete."},
        {"ja_JP.UTF-8", "アップデートを行いますか？", "\"長い名前", "インストールが完了しました。"}}) {
    ChildOptions onTerminal;
    onTerminal.streams = Streams::Terminal;
    auto updater = Start(root.File("updater"), lang, onTerminal);
    ASSERT_TRUE(updater->WaitFor("[y/N] "));
    updater->Type("y\n");
    ASSERT_TRUE(updater->WaitFor(status));
    ASSERT_TRUE(updater->WaitFor("/5", 20, updater->Output().find(status)));  // that frame's bars
    std::string drawn = updater->Output();
    std::vector<std::string> screen = ScreenRows(drawn.substr(0, drawn.rfind('\n') + 1), 80);
    ASSERT_EQ(screen.size(), 7u) << lang << "\n" << drawn;
    EXPECT_EQ(screen[3], kTitle);
    EXPECT_EQ(screen[4].rfind(status, 0), 0u) << screen[4];
    EXPECT_TRUE(std::regex_match(screen[5], std::regex(R"(\[[#.]{40}\])"))) << screen[5];
    EXPECT_TRUE(std::regex_match(screen[6], std::regex(R"(\[[#.]{40}\] \d/5)"))) << screen[6];
    EXPECT_EQ(updater->Finish(), 0);
    EXPECT_EQ(ScreenRows(updater->Output(), 80),
              (std::vector<std::string>{caption, question, "[y/N] y", caption, complete}))
        << updater->Output();
  }
}

TEST_F(UpdaterProgram, Options) {
  struct Case {
    std::vector<std::string> args;
    bool registered;
    int status;
    std::string said;
  };
  const Case cases[] = {
      {{"--help"}, true, 0, "  --yes "},
      {{"--version"}, true, 0, std::string(kTitle) + "\n"},
      {{"--yes", "--bogus"}, true, 64, "updater: unknown option --bogus; usage: updater [--yes | --help | --version]\n"},
      {{"--yes"}, false, 255, "The game is not installed.\n"},
      {{"--yes"}, true, 0, "Installation complete.\n"},
  };
  for (const Case& c : cases) {
    if (!c.registered) fs::rename(prefix + "/system.reg", prefix + "/unregistered.reg");
    ChildOptions options;
    options.args = c.args;
    EXPECT_EQ(Run("", "en_US.UTF-8", options), c.status) << c.args.back() << "\n" << output;
    EXPECT_TRUE(Said(c.said)) << output;
    EXPECT_FALSE(Said("Install the update?")) << output;
    // Only a run takes the locks; the rest touches nothing.
    EXPECT_EQ(fs::is_empty(run), c.status != 255 && c.said.find("complete") == std::string::npos) << output;
    if (!c.registered) fs::rename(prefix + "/unregistered.reg", prefix + "/system.reg");
  }
  EXPECT_TRUE(GameIsUpdated());
}

TEST_F(UpdaterProgram, SecondCopyIsReported) {
  int lock = HoldLock("Updater_for_LumenTrail_is_executing_.lock");
  EXPECT_EQ(Run("y\n"), 250);
  EXPECT_EQ(output, "another copy of the updater is running\n");
  EXPECT_TRUE(GameIsOld());
  close(lock);
}

// A lock file left by another user (root, say) and not writable by the player
// is locked through a reading descriptor; one that is in use is reported.
TEST_F(UpdaterProgram, LockFilesOfAnotherUser) {
  bool asRoot = geteuid() == 0;
  int player = asRoot ? 1000000 + 2 * getpid() : -1;
  if (asRoot) LetIn(player);
  int lock = HoldLock("Updater_for_LumenTrail_is_executing_.lock");
  close(lock);
  fs::permissions(run + "/Updater_for_LumenTrail_is_executing_.lock", fs::perms::owner_read | fs::perms::group_read |
                                                                        fs::perms::others_read);
  ChildOptions asPlayer;
  asPlayer.user = player;
  EXPECT_EQ(Run("n\n", "en_US.UTF-8", asPlayer), 253) << output;
  EXPECT_TRUE(Said("Install the update?"));
  if (!asRoot) GTEST_SKIP() << "a lock file of another user needs the tests to run as root";

  lock = HoldLock("Updater_for_LumenTrail_is_executing_.lock");
  EXPECT_EQ(Run("n\n", "en_US.UTF-8", asPlayer), 250) << output;
  EXPECT_EQ(output, "the lock file " + run + "/Updater_for_LumenTrail_is_executing_.lock belongs to root and "
                    "another process holds it\n");
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

// Under Wine the game holds no lock file: a process of the same user whose
// command line names the game's executable counts. The updater and the fake
// game run as a user id of this test's own, so that no other test sees them.
TEST_F(UpdaterProgram, TheGameUnderWineCountsAsRunning) {
  if (geteuid() != 0) GTEST_SKIP() << "the fake game and the updater need a user of their own: run as root";
  int player = 1000000 + 2 * getpid(), otherUser = player + 1;
  LetIn(player);
  struct Case {
    std::vector<std::string> commandLine;
    int user;
    int status;
  };
  const Case cases[] = {
      {{"C:\\Games\\LumenTrail\\LUMENTRAIL.exe"}, player, 254},
      {{"/usr/bin/wine", "/home/player/Games/LumenTrail/lumentrail.EXE"}, player, 254},
      {{"C:\\Games\\LumenTrail\\LUMENTRAIL.exe.bak"}, player, 253},
      {{"C:\\LUMENTRAIL.exe\\save.dat"}, player, 253},
      {{"C:\\Games\\LumenTrail\\LUMENTRAIL.exe"}, otherUser, 253},
  };
  for (const Case& c : cases) {
    ChildOptions game{{"-e", "$| = 1; print qq(up\\n); sleep 60"}};
    game.args.insert(game.args.end(), c.commandLine.begin(), c.commandLine.end());
    game.user = c.user;
    ChildProcess fake("/usr/bin/perl", {}, game);
    ASSERT_TRUE(fake.WaitFor("up\n"));
    ChildOptions asPlayer;
    asPlayer.user = player;
    EXPECT_EQ(Run("n\n", "en_US.UTF-8", asPlayer), c.status) << c.commandLine.back() << "\n" << output;
    EXPECT_EQ(Said("Update cannot be installed because the game is currently running."), c.status == 254);
    fake.Signal(SIGKILL);
  }
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
      {"empty value", true, "Wow6432Node\\\\TARN", "\"InstalledFolder\"=\"\"", false},
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

// Support learns which file failed and why: one line after the result.
TEST_F(UpdaterProgram, AFailureNamesItsFileAndCause) {
  fs::create_directories(Game("script.pak/inside"));  // a folder where a new file goes
  EXPECT_EQ(Run("y\n"), 4);
  EXPECT_TRUE(Said("Installation could not be completed.\nscript.pak: move into place failed: Is a directory (21)\n"))
      << output;
  EXPECT_EQ(ReadBytes(Game("GFX.PAK")), "old gfx");
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

// Ctrl-C asks "Cancel the installation?"; where the answer comes from.
TEST_F(UpdaterProgramBig, CtrlCAsksWhetherToCancel) {
  struct Case {
    const char* what;
    Streams streams;
    std::string input;       // all of standard input
    std::string atQuestion;  // typed on the terminal at the Cancel question
    int status;
  };
  const Case cases[] = {
      {"y on standard input", Streams::Pipes, "y\ny\n", "", 6},
      {"a second Ctrl-C", Streams::Terminal, "y\n", "\x03", 6},
      {"piped input ended, no terminal: at once", Streams::Pipes, "y\n", "", 6},
      {"n on standard input", Streams::Pipes, "y\nn\n", "", 0},
      {"piped input ended: n on the terminal", Streams::PipeIntoTerminal, "y\n", "n\n", 0},
  };  // the game is updated from the first row that goes on
  for (const Case& c : cases) {
    ChildOptions options;
    options.streams = c.streams;
    auto updater = Start(root.File("updater"), "en_US.UTF-8", options);
    updater->Send(c.input);
    updater->CloseInput();
    ASSERT_TRUE(updater->WaitFor("Installing \"movie.pak\".")) << c.what;
    if (c.streams == Streams::Pipes) updater->Signal(SIGINT);
    else updater->Type("\x03");
    if (!c.atQuestion.empty()) {
      EXPECT_TRUE(updater->WaitFor("Cancel the installation?")) << c.what;
      updater->Type(c.atQuestion);
    }
    EXPECT_EQ(updater->Finish(), c.status) << c.what << "\n" << updater->Output();
    output = updater->Output();
    EXPECT_TRUE(Said("Cancel the installation?")) << c.what;
    bool cancelled = c.status == 6;
    EXPECT_EQ(Said("the installation was cancelled; nothing was changed"), cancelled) << c.what;
    EXPECT_EQ(Said("Installation complete."), !cancelled) << c.what;
    EXPECT_TRUE(cancelled ? GameIsOld() : GameIsUpdated()) << c.what;
  }
}

TEST_F(UpdaterProgramBig, ClosingTheWindowAborts) {
  for (int signal : {SIGTERM, SIGHUP, SIGQUIT}) {
    EXPECT_EQ(Interrupt(signal, "y\n"), 7) << signal << output;
    EXPECT_FALSE(Said("Cancel the installation?"));
    EXPECT_TRUE(Said("the installation was stopped; nothing was changed\n")) << output;
    EXPECT_TRUE(GameIsOld());
  }
}

}  // namespace
