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

std::string Usage(std::string_view program) { return "usage: " + std::string(program) + " [--yes | --help | --version]"; }

void PrintHelp(std::string_view program) {
  WriteLocaleText(
      stdout,
      Usage(program) + "\n" +
          InUiLanguage(
              "Installs the update it carries into the game folder registered in the Wine prefix\n"
              "(WINEPREFIX, default ~/.wine), after asking on the terminal.\n"
              "  --yes      install without asking (for launchers and scripts); an unregistered\n"
              "             game folder then ends the run with status 255\n"
              "  --help     show this help\n"
              "  --version  show the update's title\n"
              "Exit status: 0 installed, 6 cancelled, 253 not confirmed, 254 the game is running,\n"
              "250 another copy is running; others as in the README.\n",
              "同梱のアップデートを、Wine プレフィックス (WINEPREFIX、既定は ~/.wine) に\n"
              "登録されたゲームフォルダにインストールします。端末で確認を求めます。\n"
              "  --yes      確認せずにインストールする (ランチャーやスクリプト向け)。\n"
              "             フォルダが登録されていなければ状態 255 で終了する\n"
              "  --help     このヘルプを表示する\n"
              "  --version  アップデートの名前を表示する\n"
              "終了状態: 0 完了、6 中止、253 未確認、254 ゲーム実行中、250 別のコピーが実行中。\n"
              "その他は README を参照。\n"));
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
    if (option == "--help") {
      help = true;
    } else if (option == "--version") {
      version = true;
    } else if (option == "--yes") {
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
