// The Windows progress window's own procedures, for the program and its tests.
#pragma once

#include <windows.h>

#include <cstdint>

extern HWND ProgressDialog;

INT_PTR CALLBACK ProgressDialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
BOOL BuildMonitorList();
int GetMonitorRect(RECT* rect, int32_t index);
void FreeMonitorList();
void CentreProgressWindow(HWND window);
