// Identifiers of Vellumar's resources, shared by the resource script and the program. Plain macros,
// because the resource compiler reads this file too.
#pragma once

#define IDR_MAINFRAME 128
#define IDR_TRAY_MENU 130
#define IDD_UPDATE_INDEX 102

#define IDC_PROGRESS 1000
#define IDC_PROGRESS_TEXT 1001
#define IDC_REBUILD 1002
#define IDC_ADD_FOLDER 1003
#define IDC_BACKGROUND 1004

#define ID_SHOW_WINDOW 32771
#define ID_EXIT_APP 32772

#define IDS_FIND_FILES_RUNNING 1
#define IDS_CANT_START 2
#define IDS_ADD_FOLDER 3
#define IDS_BROWSE_TITLE 4
#define IDS_FOLDER_INVALID 5
#define IDS_INVALID_FOLDER_CAPTION 6
#define IDS_ONLY_LOCAL_DRIVES 7
#define IDS_REBUILD_INDEX 8
#define IDS_INDEX_UPDATED 9
#define IDS_REBUILD_DONE_CAPTION 10
#define IDS_REBUILD_PROGRESS 11
#define IDS_FOLDER_ADDED 12
#define IDS_ADD_DONE_CAPTION 13
#define IDS_CONFIRM_CANCEL 14
#define IDS_CONFIRM_CANCEL_CAPTION 15
