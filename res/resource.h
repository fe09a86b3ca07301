// Resource symbols of qelmora, shared by the portable code and the Windows resource script.
#pragma once

#define IDD_ABOUTBOX            100
#define IDS_ABOUTBOX            101
#define IDD_MAIN_DIALOG         102
#define IDR_MAINFRAME           128

#define IDC_EDIT_PATH           1000
#define IDC_BUTTON_BROWSE       1001
#define IDC_BUTTON_EXCEL        1002
#define IDC_BUTTON_TRANSFER     1003
#define IDC_BUTTON_ASSOCIATE    1004
#define IDC_BUTTON_SHORTCUT     1005

// System-menu command of the About item.
#define IDM_ABOUTBOX            0x0010

// Context-menu command of the Linux dialog: the parameter history as a workbook.
#define IDM_HISTORY             0x0020
