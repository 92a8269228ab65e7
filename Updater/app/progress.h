// The progress window as the install procedure sees it, and the message poll
// that keeps it alive between blocks of work.
#pragma once

#include <cstdint>

#include "install/install.h"  // ProgressControls and the bars' ids

constexpr int CancelButtonId = 1000;
constexpr int StatusLineId = 1001;

// The controls of the current progress window, or null when there is none.
ProgressControls* CurrentProgressControls();

// Creates the progress window (hidden until shown) from the template of the
// current language: false when it cannot be created. Then captions it with
// WindowTitle, centres it and shows it with `showCommand`.
bool CreateProgressWindow();
void ShowProgressWindow(int showCommand);
// Destroys the window if it still exists.
void DestroyProgressWindow();
// Releases what showing the window needed (the monitor list), after the result message.
void ReleaseProgressWindowResources();

// The Cancel button was pressed: unless Cancel was already confirmed, asks the
// Cancel question owned by `window`; on Yes sets CancelRequested and returns true.
bool ConfirmCancel(void* window);

// Takes at most one message from the queue and delivers it: non-zero when it
// took one, 0 when the queue was empty. A quit message is thrown as the int 0.
int PumpOneMessage();

// Empties the queue: 0 when it is empty, 1 when a quit message (or any other
// exception) came out of the pump.
int PollMessages();

struct ScreenRect {
  int32_t left, top, right, bottom;
};
// Where the progress window goes: centred in the first monitor's size, measured
// from the origin of the screen (the primary monitor's corner), halves truncated.
void CentredPosition(const ScreenRect& window, const ScreenRect& monitor, int32_t* x, int32_t* y);
