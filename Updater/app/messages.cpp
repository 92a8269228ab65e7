#include "app/messages.h"

#include <iterator>

#include "app/app_state.h"

namespace {

struct Message {
  const char16_t* english;
  const char16_t* japanese;
};

const Message Messages[] = {
    {u"\"ルーメン・トレイル\" Updater ver 1.01", u"「ルーメン・トレイル」 Updater ver 1.01"},
    {u"Failed to get version information.", u"バージョン情報の取得に失敗しました。"},
    {u"The game is not installed.", u"ゲームがインストールされていません。"},
    {u"The installed folder cannot be found.\nDo you want to specify the installation folder?",
     u"インストールされたデータが見つかりません。\nインストール先のフォルダを指定しますか？"},
    {u"Select the installation folder.", u"インストールするフォルダを選択してください。"},
    {u"Install the update?", u"アップデートを行いますか？"},
    {u"\"ルーメン・トレイル\" was not found in the folder you selected.",
     u"選択されたフォルダに「ルーメン・トレイル」はインストールされていません。"},
    {u"This will cancel the installation process.", u"アップデートをキャンセルします。"},
    {u"The update is already installed.", u"既にアップデートは適用されています。"},
    {u"The folder you selected does not exist.", u"指定されたフォルダは存在しません。"},
    {u"Installing \"%s\".", u"\"%s\"をインストール中"},
    {u"Cancel the installation?", u"インストールを中止しますか？"},
    {u"Installation complete.", u"インストールが完了しました。"},
    {u"The installer may be damaged.", u"インストールプログラムが破損している可能性があります。"},
    {u"Installation could not be completed.", u"何らかの要因によりインストールが行えません。"},
    {u"Failed to update the installation info.", u"アンインストレーションファイルの更新に失敗しました。"},
    {u"Failed at dialog initiation.", u"ダイアログの起動に失敗しました。"},
    {u"Update cannot be installed because the game is currently running.",
     u"ゲームが実行中であるためアップデートを行えません。"},
    {u"Error", u"エラー"},
};
constexpr int MessageCount = static_cast<int>(std::size(Messages));

MessageBoxFunction CurrentMessageBox = PlatformMessageBox;

}  // namespace

const char16_t* GetMessageText(int number) {
  // Five language slots: 0 English (also the fallback), 1 Japanese, 2-4 empty.
  const char16_t* slots[5] = {u"", nullptr, nullptr, nullptr, nullptr};
  if (number >= 0 && number < MessageCount) {
    slots[0] = Messages[number].english;
    slots[1] = Messages[number].japanese;
  }
  if (UiLanguage >= 0 && UiLanguage < 5 && slots[UiLanguage]) return slots[UiLanguage];
  return slots[0];
}

void SetMessageBoxFunction(MessageBoxFunction function) {
  CurrentMessageBox = function ? function : PlatformMessageBox;
}

void ShowWarningBox(const char16_t* text) { CurrentMessageBox(nullptr, text, WindowTitle, BoxWarning); }

void ShowInfoBox(const char16_t* text) { CurrentMessageBox(nullptr, text, WindowTitle, BoxInfo); }

bool AskQuestion(void* owner, const char16_t* text) {
  return CurrentMessageBox(owner, text, WindowTitle, BoxQuestion) == AnswerYes;
}
