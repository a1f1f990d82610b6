// Resource and command ids, grouped per dialog.
#pragma once

#ifndef IDC_STATIC
#define IDC_STATIC (-1)
#endif

// About box
#define IDD_ABOUTBOX        100
#define IDS_ABOUTBOX        101
#define IDB_ABOUT           145
#define IDM_ABOUTBOX        0x0010

// Main dialog
#define IDD_MAIN            102
#define IDR_MAINICON        144
#define IDC_DRIVE           1000
#define IDC_IMAGE_PATH      1002
#define IDC_BROWSE          1003
#define IDC_TO_FLOPPY       1004
#define IDC_FROM_FLOPPY     1005
#define IDC_COPY_IMAGE      1007

// Menu bar
#define IDR_MAINMENU        130
#define ID_FILE_EXIT        32773
#define ID_HELP_ABOUT       32776
#define ID_HELP_TEXT        32777
