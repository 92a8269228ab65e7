// The packed POSIX updater run as a process, the way a player runs it from a
// terminal: the Wine prefix's registry, questions answered on standard input
// or on a pseudo-terminal, Cancel as Ctrl-C, the window closed as a signal,
// the screen it leaves, and the exit status. Each row is one run.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <functional>
#include <memory>
#include <regex>

#include "support/process_posix.h"
#include "support/test_files.h"

namespace fs = std::filesystem;

namespace {

// ルーメン・トレイル as Wine writes it in a key name.
const char kProductKey[] = "\\x30eb\\x30fc\\x30e1\\x30f3\\x30fb\\x30c8\\x30ec\\x30a4\\x30eb";
const char kTitle[] = "「ルーメン・トレイル」 Updater ver 1.01";
const char kRegistered[] = "\"InstalledFolder\"=\"C:\\\\Games\\\\LumenTrail\"";
const char kUpdaterLock[] = "Updater_for_LumenTrail_is_executing_.lock";

struct Row {
  const char* what = "";
  std::string input = "";              // all of standard input
  int status = 0;
  std::vector<std::string> said = {};    // each somewhere in the output
  std::vector<std::string> unsaid = {};  // none anywhere
  bool updated = false;                  // else the game is left as it was
  std::string lang = "en_US.UTF-8";
  std::vector<std::string> env = {};     // more variables
  std::string term = "xterm";
  ChildOptions options = {};
  std::function<void()> setup = nullptr;
  const char* program = "updater";  // below the test's folder
  const char* lockHeld = nullptr;   // by another process while the updater runs
  int interrupt = 0;                // sent once the big update installs; SIGINT on a terminal is Ctrl-C typed
  bool behind = false;              // the terminal falls behind first, the last frame it has read only in part
  std::string atCancel = "";        // then typed at the Cancel question
  int signalAtCancel = 0;           // or sent while it waits
  std::vector<std::string> screen = {};  // what a terminal 80 columns wide shows at the end
  std::function<void()> atQuestion = nullptr;  // done while the first question waits for its answer
};

ChildOptions With(std::vector<std::string> args, Streams streams = Streams::Pipes) { return {std::move(args), streams}; }

class UpdaterProgram : public ::testing::Test {
 protected:
  void SetUp() override {
    fs::create_directories(prefix + "/dosdevices");
    fs::create_directories(run);
    fs::create_directory_symlink("../drive_c", prefix + "/dosdevices/c:");
    fs::create_directories(root.File("update/data"));
    WriteBytes(root.File("update/gfx.pak"), "new gfx");  // the game spells it GFX.PAK
    WriteBytes(root.File("update/data/map.pak"), "new map");
    WriteBytes(root.File("update/script.pak"), "new script");
    Pack("updater");
  }

  std::string Game(const std::string& relative) const { return prefix + "/drive_c/Games/LumenTrail/" + relative; }

  void Pack(const std::string& out, const std::string& title = kTitle) {
    ToolRun pack = RunPackTool("build --stub " + std::string(UPDATER_PATH) + " --from " + root.File("update") +
                               " --title '" + title + "' --out " + root.File(out));
    ASSERT_EQ(pack.status, 0) << pack.out;
  }

  void MakeGame() {
    fs::remove_all(prefix + "/drive_c");
    fs::create_directories(Game("data"));
    WriteBytes(Game("LUMENTRAIL.exe"), "game");
    WriteBytes(Game("GFX.PAK"), "old gfx");
    WriteBytes(Game("data/map.pak"), "old map");
    WriteBytes(Game("uninst.lst"), "LUMENTRAIL.exe\r\nGFX.PAK\r\n");
    WriteRegistry(true, "Wow6432Node\\\\TARN", kRegistered);
  }

  // system.reg of a 64-bit or 32-bit prefix with one key below Software.
  void WriteRegistry(bool win64, const std::string& keyBelowSoftware, const std::string& value) {
    WriteBytes(prefix + "/system.reg", std::string("WINE REGISTRY Version 2\n;; All keys relative to \\\\Machine\n\n") +
                                           (win64 ? "#arch=win64\n" : "#arch=win32\n") + "\n[Software\\\\Classes] 1\n\n" +
                                           "[Software\\\\" + keyBelowSoftware + "\\\\" + kProductKey +
                                           "] 1700000000\n#time=1d9\n" + value + "\n");
  }

  // The game's own spelling of a name is kept; no second file appears.
  bool GameIsUpdated() const {
    return ReadBytes(Game("GFX.PAK")) == "new gfx" && ReadBytes(Game("data/map.pak")) == "new map" &&
           ReadBytes(Game("script.pak")) == "new script" && !FileExists(Game("gfx.pak")) &&
           (!FileExists(Game("uninst.lst")) ||
            (ReadBytes(Game("uninst.lst")).rfind("lumentrail.exe\ngfx.pak\ndata\\map.pak\n", 0) == 0 &&
             ReadBytes(Game("uninst.lst")).find("\nscript.pak\n") != std::string::npos));
  }

  // An update big enough to be interrupted while it installs, packed when a row first needs it.
  void PackBig() {
    if (FileExists(root.File("big"))) return;
    std::string big(96 << 20, '\0');
    for (size_t i = 0; i < big.size(); i += 4096) big[i] = static_cast<char>(i >> 12);
    WriteBytes(root.File("update/movie.pak"), big);
    Pack("big");
    fs::remove(root.File("update/movie.pak"));
  }

  void Check(const Row& row) {
    SCOPED_TRACE(row.what);
    MakeGame();
    if (row.setup) row.setup();
    if (row.interrupt) PackBig();
    int lock = row.lockHeld ? open((run + "/" + row.lockHeld).c_str(), O_RDWR | O_CREAT, 0666) : -1;
    EXPECT_TRUE(!row.lockHeld || flock(lock, LOCK_EX | LOCK_NB) == 0);
    std::map<std::string, std::string> before = FolderState(prefix + "/drive_c");
    std::vector<std::string> env{"PATH=/usr/bin:/bin", "HOME=" + root.path(), "WINEPREFIX=" + prefix,
                                 "XDG_RUNTIME_DIR=" + run, "LANG=" + row.lang, std::string("LOCPATH=") + TEST_LOCALE_DIR};
    if (!row.term.empty()) env.push_back("TERM=" + row.term);
    for (const std::string& variable : row.env) {  // in place of one of the same name
      std::string name = variable.substr(0, variable.find('=') + 1);
      std::erase_if(env, [&](const std::string& given) { return given.rfind(name, 0) == 0; });
      env.push_back(variable);
    }
    auto updater = std::make_unique<ChildProcess>(root.File(row.interrupt ? "big" : row.program), env, row.options);
    EXPECT_TRUE(row.options.streams != Streams::Terminal || row.input.empty() || updater->WaitFor("[y/N] "));
    if (row.atQuestion) {
      EXPECT_TRUE(updater->WaitFor("[y/N] "));
      row.atQuestion();
    }
    updater->Send(row.input);
    updater->CloseInput();
    if (row.interrupt) {
      EXPECT_TRUE(updater->WaitFor("Installing \"movie.pak\"."));
      // The terminal reads nothing until its line discipline's buffer is full: more waits behind it.
      EXPECT_TRUE(!row.behind || updater->WaitUnread(4095));
      if (row.interrupt == SIGINT && row.options.streams != Streams::Pipes) updater->Type("\x03");
      else updater->Signal(row.interrupt);
      if (!row.atCancel.empty() || row.signalAtCancel) {
        EXPECT_TRUE(updater->WaitFor("Cancel the installation?"));
        EXPECT_TRUE(updater->WaitFor("[y/N] ", 20, updater->Output().find("Cancel the installation?")));
        if (row.signalAtCancel) updater->Signal(row.signalAtCancel);
        else updater->Type(row.atCancel);
      }
    }
    EXPECT_EQ(updater->Finish(), row.status) << updater->Output();
    const std::string& output = updater->Output();
    for (const std::string& text : row.said) EXPECT_NE(output.find(text), std::string::npos) << text;
    for (const std::string& text : row.unsaid) EXPECT_EQ(output.find(text), std::string::npos) << text;
    if (!row.screen.empty()) {
      EXPECT_EQ(ScreenRows(output, 80), row.screen) << output;
    }
    // Every bar of files drawn is filled in proportion.
    std::regex filesBar(R"(\[(#*)(\.*)\] (\d+)/(\d+))");
    for (auto bar = std::sregex_iterator(output.begin(), output.end(), filesBar); bar != std::sregex_iterator(); ++bar)
      EXPECT_EQ((*bar)[1].length(), std::stoul((*bar)[3]) * ((*bar)[1].length() + (*bar)[2].length()) /
                                        std::stoul((*bar)[4])) << (*bar)[0];
    if (row.updated) EXPECT_TRUE(GameIsUpdated());
    else EXPECT_EQ(FolderState(prefix + "/drive_c"), before);
    if (lock >= 0) close(lock);
    if (fakeGame) fakeGame->Signal(SIGKILL), fakeGame.reset();
  }

  // The line under the game folder: where it is, and the prefix, in the words given.
  std::string Mapped(const std::string& inThePrefix) const {
    return "\n  = " + fs::canonical(prefix).string() + "/drive_c/Games/LumenTrail" + inThePrefix + prefix + ")\n";
  }
  // A terminal's rows: `above` as wide as it comes, then `below`.
  static std::vector<std::string> Screen(const std::string& above, std::vector<std::string> below) {
    std::vector<std::string> rows = ScreenRows(std::regex_replace(above, std::regex("\n"), "\r\n"), 80);
    rows.insert(rows.end(), below.begin(), below.end());
    return rows;
  }

  TempFolder root;
  std::string prefix = root.File("prefix");
  std::string run = root.File("run");
  std::unique_ptr<ChildProcess> fakeGame;  // a process that names the game while a row runs
};

TEST_F(UpdaterProgram, Runs) {
  const std::string frame = std::string("[") + kTitle + "]", caption = frame + "\n";
  const std::string notFound = "The installed folder cannot be found.";
  const std::string games = fs::canonical(prefix).string() + "/drive_c/Games/";
  const std::string mapped = Mapped(" (in the Wine prefix ");
  const std::string lookedFor = "the game was looked for in the Wine prefix " + prefix + " (WINEPREFIX)\n  ";
  const std::string key = "registry key HKEY_LOCAL_MACHINE\\Software\\Wow6432Node\\TARN\\ルーメン・トレイル\n  ";
  // At 80 columns a long Japanese name is cut to fit its row, so that the
  // frame is redrawn in place and cleared at the end.
  auto longName = [this] {
    std::string name = root.File("update/長い名前のファイル長い名前のファイル長い名前のファイル長い名前のファイルです.pak");
    WriteBytes(name, "long");
    Pack("long");
    fs::remove(name);
  };
  auto unregistered = [this] { fs::remove(prefix + "/system.reg"); };
  auto registry = [this](bool win64, std::string key, std::string value) {
    return [=, this] { WriteRegistry(win64, key, value); };
  };
  auto copy = [this](const char* name, bool damage) {
    return [=, this] {
      fs::copy_file(damage ? root.File("updater") : UPDATER_PATH, root.File(name), fs::copy_options::overwrite_existing);
      if (!damage) return;
      std::string bytes = ReadBytes(root.File(name));
      WriteBytes(root.File(name), bytes.substr(0, bytes.size() - 1) + "X");  // script.pak's last byte
    };
  };
  const Row rows[] = {
      {.what = "English", .input = "y\n", .status = 0,
       .said = {"game folder: C:\\Games\\LumenTrail" + mapped + caption + "Install the update?",
                "Installing \"data\\map.pak\".\n", "Installation complete."},
       .unsaid = {"\x1b["}, .updated = true},
      {.what = "Japanese", .input = "yes\n", .status = 0,
       .said = {"アップデートを行いますか？", "\"gfx.pak\"をインストール中", "インストールが完了しました。"},
       .updated = true, .lang = "ja_JP.UTF-8"},
      {.what = "EUC-JP", .input = "\xa4\xcf\xa4\xa4\n", .status = 0,
       .said = {"\xb4\xb0\xce\xbb\xa4\xb7\xa4\xde\xa4\xb7\xa4\xbf"}, .unsaid = {"\x1b[", "完了"}, .updated = true,
       .lang = "ja_JP.eucJP"},
      {.what = "LC_MESSAGES of a locale not installed", .input = "n\n", .status = 253,
       .said = {"アップデートを行いますか？"}, .env = {"LC_MESSAGES=ja"}},
      {.what = "LANG not installed, LC_CTYPE UTF-8", .input = "n\n", .status = 253, .said = {"アップデートを行いますか？"},
       .lang = "ja_ZZ.UTF-8", .env = {"LC_CTYPE=C.UTF-8"}},
      {.what = "no locale installed", .input = "n\n", .status = 253, .said = {"Install the update?"},
       .lang = "ja_ZZ.UTF-8"},
      {.what = "empty LC_ALL", .input = "n\n", .status = 253, .said = {"アップデートを行いますか？"},
       .lang = "ja_JP.UTF-8", .env = {"LC_ALL="}},
      {.what = "LC_ALL before LANG", .input = "n\n", .status = 253, .said = {"Install the update?"},
       .lang = "ja_JP.UTF-8", .env = {"LC_ALL=en_US.UTF-8"}},
      {.what = "Japanese yes in English", .input = "はい\n", .status = 253, .said = {"nothing was changed\n"}},
      {.what = "answered with CR LF", .input = "y\r\n", .status = 0, .updated = true},
      {.what = "no", .input = "n\n", .status = 253, .said = {"[y/N] n\nnothing was changed\n"}, .unsaid = {"Installing"}},
      {.what = "end of input", .input = "", .status = 253, .said = {"[y/N] \nnothing was changed\n"}},
      {.what = "dumb terminal", .input = "y\n", .status = 0, .said = {"Installing \"gfx.pak\".\r\n"},
       .unsaid = {"\x1b["}, .updated = true, .term = "dumb", .options = With({}, Streams::Terminal)},
      {.what = "long name", .input = "y\n", .status = 0, .updated = true, .options = With({}, Streams::Terminal),
       .setup = longName, .program = "long",
       .screen = Screen("game folder: C:\\Games\\LumenTrail" + mapped,
                        {frame, "Install the update?", "[y/N] y", frame, "Installation complete."})},
      {.what = "12 columns", .input = "y\n", .status = 0, .said = {"[#....] 1/4", "[###..] 3/4"}, .updated = true,
       .options = {{}, Streams::Terminal, 12}},
      {.what = "--help", .said = {"  -y, --yes ", "\n  251  this program carries no update\n"},
       .options = With({"--help"})},
      {.what = "-h, Japanese", .said = {"\n  254  ゲームが実行中\n"}, .lang = "ja_JP.UTF-8", .options = With({"-h"})},
      {.what = "--version", .said = {std::string(kTitle) + "\n"}, .options = With({"--version"})},
      {.what = "a title filling its field", .said = {std::string(1023, 'T') + "\n"}, .options = With({"--version"}),
       .setup = [this] { Pack("titled", std::string(1023, 'T')); }, .program = "titled"},
      {.what = "unknown option", .status = 64,
       .said = {"updater: unknown option --bogus; usage: updater [-y | --yes] | -h | --help | --version\n"},
       .options = With({"--yes", "--bogus"})},
      {.what = "-y", .said = {"Installation complete.\n"}, .unsaid = {"Install the update?"}, .updated = true,
       .options = With({"-y"})},
      {.what = "--yes, not registered", .status = 255,
       .said = {lookedFor + prefix + "/system.reg cannot be read\n" + caption + "The game is not installed.\n"},
       .unsaid = {"Install the update?"}, .options = With({"--yes"}), .setup = unregistered},
      {.what = "--yes, registered without the game", .status = 255,
       .said = {lookedFor + key + "value InstalledFolder: C:\\Games\\Elsewhere\n  = " + games +
                "Elsewhere\n  LUMENTRAIL.exe is not in that folder\n" + caption + "The game is not installed.\n"},
       .options = With({"--yes"}),
       .setup = registry(true, "Wow6432Node\\\\TARN", "\"InstalledFolder\"=\"C:\\\\Games\\\\Elsewhere\"")},
      {.what = "a second copy", .input = "y\n", .status = 250,
       .said = {"another copy of the updater is running\n" + run + "/" + kUpdaterLock + " is held by process " +
                std::to_string(getpid()) + ": "},
       .unsaid = {"Install the update?"}, .lockHeld = kUpdaterLock},
      {.what = "the game runs", .input = "y\n", .status = 254,
       .said = {caption + "Update cannot be installed because the game is currently running."},
       .unsaid = {"Install the update?"}, .lockHeld = "Velkan_General_Interpreter_for_LumenTrail_is_executing_.lock"},
      {.what = "no payload", .status = 251, .said = {"[Error]\nFailed to get version information."},
       .setup = copy("bare", false), .program = "bare"},
      {.what = "damaged", .input = "y\n", .status = 1, .said = {"The installer may be damaged.\nscript.pak: verification"},
       .setup = copy("damaged", true), .program = "damaged"},
      {.what = "no uninstall list", .input = "y\n", .status = 5,
       .said = {"Failed to update the installation info.\nuninst.lst: list rewrite failed"}, .updated = true,
       .setup = [this] { fs::remove(Game("uninst.lst")); }},
      {.what = "a failure named", .input = "y\n", .status = 4,
       .said = {"Installation could not be completed.\nscript.pak: move into place failed: Is a directory (21)\n"},
       .setup = [this] { fs::create_directories(Game("script.pak/inside")); }},
      {.what = "not registered, declined", .input = "\n", .status = 255,
       .said = {notFound + "\nDo you want to specify the installation folder?",
                "This will cancel the installation process."},
       .setup = unregistered},
      {.what = "not registered, picked", .input = "y\n" + root.File("elsewhere") + "\nC:\\games\\lumentrail\\\ny\n",
       .status = 0,
       .said = {"Select the installation folder.", "\"ルーメン・トレイル\" was not found in the folder you selected."},
       .updated = true,
       .setup = [&] { unregistered(), fs::create_directories(root.File("elsewhere/LUMENTRAIL.exe")); }},
      {.what = "not registered, picked with ~", .input = "y\n~/prefix/drive_c/Games/LumenTrail\ny\n", .status = 0,
       .said = {"game folder: " + root.File("prefix/drive_c/Games/LumenTrail\n")}, .updated = true,
       .setup = unregistered},
      {.what = "not registered, picker given up", .input = "y\n\n", .status = 255,
       .said = {"This will cancel the installation process."}, .setup = unregistered},
      {.what = "64-bit view", .input = "n\n", .status = 255,
       .said = {lookedFor + key + "value InstalledFolder: no folder\n" + caption + notFound},
       .setup = registry(true, "TARN", kRegistered)},
      {.what = "32-bit prefix, trailing backslash", .input = "y\n", .status = 0, .updated = true,
       .setup = registry(false, "TARN", "\"InstalledFolder\"=\"C:\\\\Games\\\\LumenTrail\\\\\"")},
      {.what = "names in other letter case", .input = "y\n", .status = 0, .updated = true,
       .setup = registry(true, "wow6432node\\\\tarn", "\"installedfolder\"=\"C:\\\\Games\\\\LumenTrail\"")},
      {.what = "empty WINEPREFIX", .input = "y\n", .status = 0, .updated = true, .env = {"WINEPREFIX="},
       .setup = [this] { fs::create_directory_symlink(prefix, root.File(".wine")); }},
      {.what = "REG_EXPAND_SZ", .input = "n\n", .status = 255, .said = {notFound},
       .setup = registry(true, "Wow6432Node\\\\TARN", "\"InstalledFolder\"=str(2):\"C:\\\\Games\\\\LumenTrail\"")},
      {.what = "empty value", .input = "n\n", .status = 255, .said = {"value InstalledFolder: no folder\n"},
       .setup = registry(true, "Wow6432Node\\\\TARN", "\"InstalledFolder\"=\"\"")},
      {.what = "POSIX path", .input = "n\n", .status = 253, .unsaid = {notFound},
       .setup = registry(false, "TARN", "\"InstalledFolder\"=\"" + Game("") + "\"")},
  };
  for (const Row& row : rows) Check(row);
}

// Ctrl-C asks "Cancel the installation?", answered where input is left;
// a closed window or a quit message stops the install at once.
TEST_F(UpdaterProgram, Interrupted) {
  const std::vector<std::string> cancelled = {"Cancel the installation?",
                                              "the installation was cancelled; nothing was changed"};
  const std::vector<std::string> stopped = {"the installation was stopped; nothing was changed\n"};
  const std::string frame = std::string("[") + kTitle + "]";
  const Row rows[] = {
      {.what = "y on standard input", .input = "y\ny\n", .status = 6, .said = cancelled, .interrupt = SIGINT},
      {.what = "Ctrl-C twice", .input = "y\n", .status = 6,
       .said = {"Cancel the installation?\r\n[y/N] \x03\r\n", "the installation was cancelled; nothing was changed"},
       .options = With({}, Streams::Terminal), .interrupt = SIGINT, .atCancel = "\x03"},
      {.what = "input ended, no terminal", .input = "y\n", .status = 6,
       .said = {"Cancel the installation?\n[y/N] \nthe installation was cancelled; nothing was changed"},
       .interrupt = SIGINT},
      {.what = "window closed at the Cancel question", .input = "y\n", .status = 7,
       .said = {"the installation was stopped; nothing was changed"},
       .options = With({}, Streams::Terminal), .interrupt = SIGINT, .signalAtCancel = SIGTERM},
      {.what = "n on standard input", .input = "y\nn\n", .status = 0,
       .said = {"Cancel the installation?", "Installation complete."}, .updated = true, .interrupt = SIGINT},
      {.what = "input ended, n on the terminal", .input = "y\n", .status = 0,
       .said = {"Cancel the installation?\r\n[y/N] n\r\n"}, .updated = true,
       .options = With({}, Streams::PipeIntoTerminal), .interrupt = SIGINT, .atCancel = "n\n"},
      {.what = "Ctrl-C in a terminal behind", .input = "y\n", .status = 0, .updated = true,
       .options = With({}, Streams::Terminal), .interrupt = SIGINT, .behind = true, .atCancel = "n\n",
       .screen = Screen("game folder: C:\\Games\\LumenTrail" + Mapped(" (in the Wine prefix "),
                        {frame, "Install the update?", "[y/N] y", frame, "Cancel the installation?", "[y/N] n", frame,
                         "Installation complete."})},
      {.what = "SIGTERM", .input = "y\n", .status = 7, .said = stopped, .unsaid = {"Cancel"}, .interrupt = SIGTERM},
      {.what = "SIGQUIT", .input = "y\n", .status = 7, .said = stopped, .unsaid = {"Cancel"}, .interrupt = SIGQUIT},
  };
  for (const Row& row : rows) Check(row);
}

// As a user of the test's own: a lock file left by root and not writable by
// the player is locked for reading, one in use is reported, another user's
// FIFO in its place is refused; under Wine the game holds no lock, but a
// process of the same user that runs it counts.
TEST_F(UpdaterProgram, RunsAsAPlayer) {
  if (geteuid() != 0) GTEST_SKIP() << "a user of the test's own needs the tests to run as root";
  int player = 1000000 + 2 * getpid();
  fs::permissions(root.path(), fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                                   fs::perms::others_read | fs::perms::others_exec);
  ASSERT_EQ(chown(run.c_str(), player, player), 0);
  auto rootsLock = [this] {
    WriteBytes(run + "/" + kUpdaterLock, "");
    fs::permissions(run + "/" + kUpdaterLock, fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
  };
  // A process named `name` (Wine names a Windows program's process by its path) with `argument`.
  auto game = [this](std::string name, std::string argument, int user) {
    return [=, this] {
      ChildOptions options{{"-e", "$| = 1; print qq(up\\n); sleep 60", argument}};
      options.name = name;
      options.user = user;
      fakeGame = std::make_unique<ChildProcess>("/usr/bin/perl", std::vector<std::string>{}, options);
      EXPECT_TRUE(fakeGame->WaitFor("up\n"));
    };
  };
  const std::string running = "Update cannot be installed because the game is currently running.";
  const Row rows[] = {
      {.what = "root's lock file", .input = "n\n", .status = 253, .said = {"Install the update?"}, .setup = rootsLock},
      {.what = "root's lock file in use", .input = "n\n", .status = 250,
       .said = {"the lock file " + run + "/" + kUpdaterLock + " belongs to root and another process holds it\n"},
       .setup = rootsLock, .lockHeld = kUpdaterLock},
      {.what = "the game by wine", .input = "n\n", .status = 254,
       .said = {running + "\nthe game runs as process ", ": C:\\Games\\LumenTrail\\lumentrail.EXE -e "},
       .setup = game("C:\\Games\\LumenTrail\\lumentrail.EXE", "", player)},
      {.what = "a program naming the game", .input = "n\n", .status = 253, .unsaid = {running},
       .setup = game("", "/home/player/Games/LumenTrail/LUMENTRAIL.exe", player)},
      {.what = "another user's game", .input = "n\n", .status = 253, .unsaid = {running},
       .setup = game("C:\\Games\\LumenTrail\\LUMENTRAIL.exe", "", player + 1)},
      {.what = "another user's FIFO at the lock's name", .status = 250,
       .said = {"the lock file " + run + "/" + kUpdaterLock + " is not a regular file (it belongs to root)\n"},
       .setup = [this] { fs::remove(run + "/" + kUpdaterLock), mkfifo((run + "/" + kUpdaterLock).c_str(), 0644); }},
  };
  for (Row row : rows) {
    row.options.user = player;
    Check(row);
  }
}

// What the updater checked is what it installs: the game folder it found
// the game in, held by no name and locked against every other updater,
// and the program file it was started from.
TEST_F(UpdaterProgram, InstallsWhatItChecked) {
  const std::string notFound = "The installed folder cannot be found.";
  auto replaceProgram = [this] {
    std::string bytes = ReadBytes(root.File("updater"));
    WriteBytes(root.File("other"), bytes.substr(0, bytes.size() - 1) + "X");  // script.pak's last byte
    fs::permissions(root.File("other"), fs::perms::owner_all);
    fs::rename(root.File("other"), root.File("updater"));
  };
  auto secondUpdater = [this] {
    fs::create_directories(root.File("run2"));
    fakeGame = std::make_unique<ChildProcess>(
        root.File("updater"), std::vector<std::string>{"HOME=" + root.path(), "WINEPREFIX=" + prefix,
                                                       "XDG_RUNTIME_DIR=" + root.File("run2"), "LANG=C.UTF-8"});
    EXPECT_TRUE(fakeGame->WaitFor("[y/N] "));
  };
  auto cut = [this] {
    std::string bytes = ReadBytes(root.File("updater"));
    WriteBytes(root.File("cut"), bytes.substr(0, 0x70400 + 16 + 64));  // within the index
    fs::permissions(root.File("cut"), fs::perms::owner_all);
  };
  const Row rows[] = {
      {.what = "registered folder a link to one without the game", .input = "n\n", .status = 255, .said = {notFound},
       .setup = [this] {
         fs::create_directories(prefix + "/drive_c/Empty");
         fs::create_directory_symlink("../Empty", prefix + "/drive_c/Games/Linked");
         WriteRegistry(true, "Wow6432Node\\\\TARN", "\"InstalledFolder\"=\"C:\\\\Games\\\\Linked\"");
       }},
      {.what = "replaced while its question is open", .input = "y\n", .status = 0, .updated = true,
       .atQuestion = replaceProgram},
      {.what = "another updater on the folder", .input = "y\n", .status = 250,
       .said = {"another copy of the updater is running"}, .setup = secondUpdater},
      {.what = "an index cut short", .input = "y\n", .status = 2,
       .said = {"archive index read failed: the archive index is cut short"}, .setup = cut, .program = "cut"},
  };
  for (const Row& row : rows) {
    Check(row);
    if (std::string(row.what) == "replaced while its question is open") Pack("updater");
  }
}

}  // namespace
