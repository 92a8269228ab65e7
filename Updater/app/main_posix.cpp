// The POSIX program: the same run as on Windows, in a terminal, in the
// player's locale, with the options a script expects. Every outcome is said in
// one line on standard error, also those the Windows program leaves silent.
// The exit status is the low 8 bits of the exit code.
#include <clocale>
#include <cstdio>
#include <string>
#include <string_view>

#include "app/app_state.h"
#include "app/flow.h"
#include "app/messages.h"
#include "app/terminal_posix.h"
#include "install/install_result.h"
#include "payload/own_executable.h"
#include "payload/payload.h"
#include "text/terminal_posix.h"
#include "text/text.h"

namespace {

constexpr int ExitUsage = 64;  // EX_USAGE: no outcome of a run gives it

std::string Usage(std::string_view program) {
  return "usage: " + std::string(program) + " [-y | --yes] | -h | --help | --version";
}

// Complete on its own: players have the program, not the README.
void PrintHelp(std::string_view program) {
  std::string text = InUiLanguage(
      "Installs the update it carries into the game folder registered in the Wine\n"
      "prefix (WINEPREFIX, default ~/.wine), after asking on the terminal. When the\n"
      "game is not found there, asks for its folder: a path (~ is your home folder)\n"
      "or a Windows path such as C:\\Games\\LumenTrail. Ctrl-C while it installs asks\n"
      "whether to cancel.\n"
      "  -y, --yes   install without asking (for launchers and scripts); a game that\n"
      "              is not found then ends the run with status 255\n"
      "  -h, --help  show this help\n"
      "  --version   show the update's title\n"
      "Exit status:\n"
      "    0  installed\n"
      " 1, 2  the update is damaged; nothing was changed\n"
      "    4  a file could not be written or moved into place; nothing was changed\n"
      "    5  installed, but the game's uninstall list could not be updated\n"
      "    6  cancelled; nothing was changed\n"
      "    7  stopped (SIGTERM, SIGHUP, SIGQUIT); nothing was changed\n"
      "   64  an unknown option\n"
      "  250  another copy of the updater is running, or its lock file cannot be used\n"
      "  251  this program carries no update\n"
      "  253  \"Install the update?\" was not answered yes; nothing was changed\n"
      "  254  the game is running\n"
      "  255  no game folder: not found (with --yes), or none was given\n",
      "同梱のアップデートを、Wine プレフィックス (WINEPREFIX、既定は ~/.wine) に\n"
      "登録されたゲームフォルダに、端末で確認してからインストールします。ゲームが\n"
      "見つからなければフォルダを尋ねます (パス。~ はホームフォルダ。または\n"
      "C:\\Games\\LumenTrail のような Windows のパス)。インストール中に Ctrl-C を\n"
      "押すと、中止するかを尋ねます。\n"
      "  -y, --yes   確認せずにインストールする (ランチャーやスクリプト向け)。\n"
      "              ゲームが見つからなければ状態 255 で終了する\n"
      "  -h, --help  このヘルプを表示する\n"
      "  --version   アップデートの名前を表示する\n"
      "終了状態:\n"
      "    0  インストールが完了した\n"
      " 1, 2  アップデートが破損している。何も変更されていない\n"
      "    4  ファイルを書き込めないか置き換えられなかった。何も変更されていない\n"
      "    5  インストールしたが、ゲームのアンインストール情報を更新できなかった\n"
      "    6  中止した。何も変更されていない\n"
      "    7  中断された (SIGTERM、SIGHUP、SIGQUIT)。何も変更されていない\n"
      "   64  不明なオプション\n"
      "  250  アップデーターの別のコピーが実行中か、ロックファイルを使えない\n"
      "  251  このプログラムはアップデートを含んでいない\n"
      "  253  「アップデートを行いますか？」に「はい」と答えなかった。何も変更なし\n"
      "  254  ゲームが実行中\n"
      "  255  ゲームフォルダがない: 見つからない (--yes)、または指定されなかった\n");
  WriteLocaleText(stdout, Usage(program) + "\n" + text);
}

int PrintVersion() {
  if (!ReadPayloadTitle(WindowTitle, TitleCapacity)) {
    WriteLocaleText(stderr, WideToNarrow(GetMessageText(MessageNoVersionInfo), TargetUtf8) + "\n");
    return ExitNoTitle & 0xFF;
  }
  WriteLocaleText(stdout, WideToNarrow(WindowTitle, TargetUtf8) + "\n");
  return 0;
}

// The outcomes that show no message box on Windows.
void SayQuietOutcome(int32_t exitCode) {
  std::string line;
  if (exitCode == ExitAlreadyRunning && !LockProblemReported)
    line = InUiLanguage("another copy of the updater is running", "アップデーターの別のコピーが実行中です");
  else if (exitCode == ExitNotConfirmed)
    line = InUiLanguage("nothing was changed", "何も変更されていません");
  else if (static_cast<InstallResult>(exitCode) == InstallCancelled)
    line = InUiLanguage("the installation was cancelled; nothing was changed",
                        "インストールを中止しました。何も変更されていません");
  else if (static_cast<InstallResult>(exitCode) == InstallAborted)
    line = InUiLanguage("the installation was stopped; nothing was changed",
                        "インストールを中断しました。何も変更されていません");
  if (!line.empty()) WriteLocaleText(stderr, line + "\n");
  // Another updater at work on the same folder, with another lock file.
  if (exitCode == ExitAlreadyRunning && OutcomeCause.empty() && !InstallFolder.empty())
    OutcomeCause = FolderLockHolder(InstallFolder.c_str());
  if (!OutcomeCause.empty()) WriteLocaleText(stderr, OutcomeCause + "\n");
}

}  // namespace

int main(int argc, char** argv) {
  // Before anything else: the file at the program's path may be another soon.
  // A failure leaves nothing to read the payload through: the title cannot be read.
  HoldOwnExecutable();
  // The terminal's character set and width table, and the yes-expression,
  // each from its own category: LC_ALL as a whole fails when any category
  // names a locale that is not installed, which would leave an ASCII
  // character set under a UTF-8 LC_CTYPE. A category whose locale is not
  // installed stays the C locale.
  for (int category : {LC_CTYPE, LC_MESSAGES}) static_cast<void>(std::setlocale(category, ""));
  ChooseUiLanguage();
  std::string_view program = argc > 0 ? argv[0] : "updater";
  program = program.substr(program.find_last_of('/') + 1);

  bool help = false, version = false, installWithoutAsking = false;
  for (int i = 1; i < argc; ++i) {
    std::string_view option = argv[i];
    if (option == "--help" || option == "-h") {
      help = true;
    } else if (option == "--version") {
      version = true;
    } else if (option == "--yes" || option == "-y") {
      installWithoutAsking = true;
    } else {
      WriteLocaleText(stderr, std::string(program) + ": " + InUiLanguage("unknown option ", "不明なオプション ") +
                                  std::string(option) + "; " + Usage(program) + "\n");
      return ExitUsage;
    }
  }
  if (help) {
    PrintHelp(program);
    return 0;
  }
  if (version) return PrintVersion();

  int32_t exitCode = RunUpdater(0, installWithoutAsking);
  SayQuietOutcome(exitCode);
  return exitCode;
}
