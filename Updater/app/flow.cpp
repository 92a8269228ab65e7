#include "app/flow.h"

#include "app/app_state.h"
#include "app/install_update.h"
#include "app/messages.h"
#include "app/platform.h"
#include "app/progress.h"
#include "location/install_folder.h"
#include "payload/held_folder.h"
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

// Releases the held game folder, however the run ends.
struct ReleaseHeldFolderOnExit {
  ~ReleaseHeldFolderOnExit() { ReleaseHeldFolder(); }
};

// The game folder, held: the registry's when the game is in it, else one the
// user picks. A standard user may have put a link at the registered folder's
// name, so it counts only when the game is found in the folder held.
int32_t FindGameFolder(bool installWithoutAsking) {
  bool registered = ReadInstalledFolder(InstallFolder.data(), InstallFolder.capacity(), VendorKeyWord, ProductTitle);
  if (registered && HoldGameFolder(InstallFolder.c_str())) return 0;
  SayWhereGameWasLookedFor(registered ? InstallFolder.c_str() : nullptr);
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
  return SelectInstallFolder(InstallFolder.data(), InstallFolder.capacity(), texts) == 0 ? 0 : ExitNoFolder;
}

// The run after the game mutex is held: folder, confirmation, installation.
int32_t FindFolderAndInstall(int showCommand, bool installWithoutAsking) {
  ReleaseHeldFolderOnExit release;
  if (int32_t found = FindGameFolder(installWithoutAsking); found != 0) return found;
  // Another updater at work on the same folder, whatever its environment.
  if (!LockHeldFolder()) return ExitAlreadyRunning;
  SayGameFolder(InstallFolder.c_str());
  if (!installWithoutAsking && !AskQuestion(nullptr, GetMessageText(MessageConfirmInstall))) return ExitNotConfirmed;
  if (!CreateProgressWindow()) {
    ShowWarningBox(GetMessageText(MessageDialogFailed));
    return ExitNoDialog;
  }
  ShowProgressWindow(showCommand);
  InstallRun run = InstallUpdate(InstallFolder.c_str());
  ReleaseHeldFolder();  // nothing is written there any more; the log is written elsewhere
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
