// Resource IDs shared by updater.rc and the program.
#pragma once

#define IDI_UPDATER 101
#define IDD_PROGRESS_JAPANESE 102
#define IDD_PROGRESS_ENGLISH 103

#define IDC_PROGRESS_CANCEL 1000
#define IDC_PROGRESS_STATUS 1001
#define IDC_PROGRESS_FILE 1002
#define IDC_PROGRESS_TOTAL 1003
