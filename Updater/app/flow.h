// The whole run of the updater, from the language to the exit code.
#pragma once

#include <cstdint>

#include "text/path_buffer.h"

constexpr char16_t ProductTitle[] = u"ルーメン・トレイル";
constexpr char InstanceMutexName[] = "Updater for LumenTrail is executing.";
constexpr char GameMutexName[] = "Velkan General Interpreter for LumenTrail is executing.";

// Exit codes of the early exits; otherwise the code is the install result.
constexpr int32_t ExitNoFolder = -1;
constexpr int32_t ExitGameRunning = -2;
constexpr int32_t ExitNotConfirmed = -3;
constexpr int32_t ExitNoDialog = -4;
constexpr int32_t ExitNoTitle = -5;
// Another copy is running: the run ends silently with this code (250 as a
// POSIX exit status), which no other outcome gives.
constexpr int32_t ExitAlreadyRunning = -6;

extern PathBuffer<> InstallFolder;

// Sets UiLanguage from the user's UI language.
void ChooseUiLanguage();

// `installWithoutAsking` (the terminal port's --yes) answers "Install the
// update?" Yes and never asks for a folder: an unregistered game then ends the
// run as no game folder.
int32_t RunUpdater(int showCommand, bool installWithoutAsking = false);
