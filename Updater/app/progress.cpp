#include "app/progress.h"

#include "app/app_state.h"
#include "app/messages.h"

int PollMessages() {
  try {
    while (PumpOneMessage()) {
    }
  } catch (...) {
    return 1;
  }
  return 0;
}

bool ConfirmCancel(void* window) {
  if (CancelRequested) return false;
  if (!AskQuestion(window, GetMessageText(MessageConfirmCancel))) return false;
  CancelRequested = 1;
  return true;
}

void CentredPosition(const ScreenRect& window, const ScreenRect& monitor, int32_t* x, int32_t* y) {
  *x = ((monitor.right - monitor.left) - (window.right - window.left)) / 2;
  *y = ((monitor.bottom - monitor.top) - (window.bottom - window.top)) / 2;
}
