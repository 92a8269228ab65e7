// Every text the updater shows, in English and Japanese, and the message boxes.
#pragma once

#include <cstdint>

enum MessageId : int {
  MessageBrowserCaption = 0,
  MessageNoVersionInfo = 1,
  MessageNotInstalled = 2,
  MessageAskForFolder = 3,
  MessageSelectFolder = 4,
  MessageConfirmInstall = 5,
  MessageGameNotInFolder = 6,
  MessageCancelling = 7,
  MessageAlreadyInstalled = 8,
  MessageFolderMissing = 9,
  MessageInstallingFormat = 10,
  MessageConfirmCancel = 11,
  MessageComplete = 12,
  MessageDamaged = 13,
  MessageNotCompleted = 14,
  MessageUninstallInfoFailed = 15,
  MessageDialogFailed = 16,
  MessageGameRunning = 17,
  MessageErrorTitle = 18,
};

// The text of a message in the current UiLanguage; "" for unknown numbers. Never null.
const char16_t* GetMessageText(int number);

// Message box styles.
constexpr uint32_t BoxWarning = 0x30;   // MB_OK | MB_ICONWARNING
constexpr uint32_t BoxInfo = 0x40;      // MB_OK | MB_ICONINFORMATION
constexpr uint32_t BoxQuestion = 0x124; // MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON2
constexpr int AnswerYes = 6;            // IDYES

// The platform's MessageBoxW (or its terminal stand-in): owner window, text,
// caption, style; returns the button pressed. Tests put a double in its place.
using MessageBoxFunction = int (*)(void* owner, const char16_t* text, const char16_t* caption, uint32_t style);
int PlatformMessageBox(void* owner, const char16_t* text, const char16_t* caption, uint32_t style);
void SetMessageBoxFunction(MessageBoxFunction function);  // null restores the platform's

// The boxes, all captioned with WindowTitle.
void ShowWarningBox(const char16_t* text);
void ShowInfoBox(const char16_t* text);
// The Yes/No question with No as the default: true only for Yes.
bool AskQuestion(void* owner, const char16_t* text);
