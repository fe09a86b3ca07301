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

// The command buttons of the main dialog in tab order (after OK, Cancel and the path box): control
// id, caption, position and size in dialog units, and the MainDialog handler that a click runs. The
// resource script lays the Windows template out from this list, the Qt view builds its buttons from
// it and MainDialog::OnCommand dispatches through it: a new button is its id above and one line here.
#define QELMORA_DIALOG_BUTTONS(BUTTON)                                         \
  BUTTON(IDC_BUTTON_BROWSE, "...", 241, 82, 26, 14, OnBrowse)                  \
  BUTTON(IDC_BUTTON_EXCEL, "OpenExcel", 120, 150, 50, 14, OnOpenExcel)         \
  BUTTON(IDC_BUTTON_TRANSFER, "Transfer data", 114, 173, 64, 14, OnTransferData) \
  BUTTON(IDC_BUTTON_ASSOCIATE, "Associate mdl", 256, 10, 53, 13, OnAssociateMdl) \
  BUTTON(IDC_BUTTON_SHORTCUT, "shortcut", 198, 9, 50, 14, OnShortcut)

// System-menu command of the About item.
#define IDM_ABOUTBOX            0x0010

// Context-menu command of the Linux dialog: the parameter history as a workbook.
#define IDM_HISTORY             0x0020
// Context-menu command of the Linux dialog: another measured data file for the report of this run.
#define IDM_MEASURED_DATA       0x0030
