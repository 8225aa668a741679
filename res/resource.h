// Identifiers of the program's resources and of the controls in its dialog templates. The push
// buttons the conversion controller enables come with its user-interface operations.
#pragma once

#include "app/ui_operations.h"  // IDC_BROWSE_AC3, IDC_BROWSE_WAV (and the same buttons by other names)

// Dialog templates, icon, bitmap and string.
constexpr int IDD_ABOUTBOX = 100;
constexpr int IDS_ABOUTBOX = 101;
constexpr int IDD_QELPCONVERT_DIALOG = 102;
constexpr int IDR_MAINFRAME = 128;
constexpr int IDB_SKIN = 143;

// The about-box command of the window's menu.
constexpr int IDM_ABOUTBOX = 0x0010;

// Standard dialog results and the controls that carry them.
constexpr int IDOK = 1;
constexpr int IDCANCEL = 2;
constexpr int IDC_STATIC = -1;

// Controls of the main dialog.
constexpr int IDC_START = 1000;
constexpr int IDC_STATUS = 1001;
constexpr int IDC_BYTES = 1002;
constexpr int IDC_POSITION = 1003;
constexpr int IDC_CANCEL = 1004;
constexpr int IDC_PROGRESS = 1005;
constexpr int IDC_FRAMES = 1006;
constexpr int IDC_NORMALIZE = 1009;
constexpr int IDC_AC3_PATH = 1012;
constexpr int IDC_WAV_PATH = 1013;
constexpr int IDC_BACKGROUND = 1016;
constexpr int IDC_TIME = 1017;
constexpr int IDC_AMPLIFY = 1023;
constexpr int IDC_AMPLIFY_SLIDER = 1025;
constexpr int IDC_DB_LABEL = 1026;
constexpr int IDC_SURROUND = 1029;
