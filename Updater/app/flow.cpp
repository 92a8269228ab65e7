#include "app/flow.h"

#include "app/app_state.h"
#include "app/install_update.h"
#include "app/messages.h"
#include "app/platform.h"
#include "app/progress.h"
#include "location/install_folder.h"
#include "payload/payload.h"
#include "text/text.h"

PathBuffer<> InstallFolder;

namespace {

constexpr char16_t VendorKeyWord[] = u"TARN";

void ReportResult(InstallResult result) {
  switch (result) {
    case InstallSucceeded:
      ShowInfoBox(GetMessageText(MessageComplete));
      break;
    case InstallDamaged:
    case InstallIndexUnreadable:
    case InstallNotProduced:
      ShowWarningBox(GetMessageText(MessageDamaged));
      break;
    case InstallWriteFailed:
      ShowWarningBox(GetMessageText(MessageNotCompleted));
      break;
    case InstallUninstallListFailed:
      ShowWarningBox(GetMessageText(MessageUninstallInfoFailed));
      break;
    default:  // cancelled or aborted: the user knows
      break;
  }
}

// The run after the game mutex is held: folder, confirmation, installation.
int32_t FindFolderAndInstall(int showCommand, bool installWithoutAsking) {
  if (!ReadInstalledFolder(InstallFolder.data(), InstallFolder.capacity(), VendorKeyWord, ProductTitle)) {
    if (installWithoutAsking) {
      ShowWarningBox(GetMessageText(MessageNotInstalled));
      return ExitNoFolder;
    }
    if (!AskQuestion(nullptr, GetMessageText(MessageAskForFolder))) {
      ShowInfoBox(GetMessageText(MessageCancelling));
      return ExitNoFolder;
    }
    FolderChoiceTexts texts = {GetMessageText(MessageBrowserCaption), GetMessageText(MessageSelectFolder),
                               GetMessageText(MessageGameNotInFolder), GetMessageText(MessageCancelling),
                               ShowWarningBox, ShowInfoBox};
    if (SelectInstallFolder(InstallFolder.data(), InstallFolder.capacity(), texts) != 0) return ExitNoFolder;
  }
  if (!installWithoutAsking && !AskQuestion(nullptr, GetMessageText(MessageConfirmInstall))) return ExitNotConfirmed;
  if (!CreateProgressWindow()) {
    ShowWarningBox(GetMessageText(MessageDialogFailed));
    return ExitNoDialog;
  }
  ShowProgressWindow(showCommand);
  InstallRun run = InstallUpdate(InstallFolder.c_str());
  DestroyProgressWindow();
  ReportResult(run.result);
  RecordInstallRun(run);
  ReleaseProgressWindowResources();
  return static_cast<int32_t>(run.result);
}

}  // namespace

void ChooseUiLanguage() { UiLanguage = (GetUserUiLanguage() & 0x3FF) == 0x11 ? LanguageJapanese : LanguageEnglish; }

int32_t RunUpdater(int showCommand, bool installWithoutAsking) {
  StartPlatform();
  ChooseUiLanguage();

  int32_t exitCode;
  uint32_t error = 0;
  void* instanceMutex = CreateNamedMutex(InstanceMutexName, &error);
  if (error != 0) {
    exitCode = ExitAlreadyRunning;
  } else if (!ReadPayloadTitle(WindowTitle, TitleCapacity)) {
    FormatWide(WindowTitle, TitleCapacity, u"%s", GetMessageText(MessageErrorTitle));
    ShowWarningBox(GetMessageText(MessageNoVersionInfo));
    exitCode = ExitNoTitle;
  } else {
    void* gameMutex = CreateNamedMutex(GameMutexName, &error);
    if (error != 0) {
      ShowWarningBox(GetMessageText(MessageGameRunning));
      exitCode = ExitGameRunning;
    } else {
      exitCode = FindFolderAndInstall(showCommand, installWithoutAsking);
    }
    CloseNamedMutex(gameMutex);
  }
  CloseNamedMutex(instanceMutex);
  StopPlatform();
  return exitCode;
}
