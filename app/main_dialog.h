// The main dialog: its state, the rule shared by the report and the hand-off, and one handler per
// button. Written once; each toolkit's view (Qt on Linux, Win32 on Windows) shows the controls,
// shows the message boxes and forwards every click to OnCommand.
#pragma once

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "base/afx.h"

class MainDialog;

// Parameters of the Open dialog of "...".
struct OpenFileRequest {
  std::string title;
  std::string defaultExtension;                                // "txt"
  std::vector<std::pair<std::string, std::string>> filters;    // (label, pattern), first selected
};

struct OpenFileResult {
  std::string pathName;  // full path of the chosen file
  std::string fileName;  // name and extension only
};

// What the toolkit provides to the dialog. Message boxes of the MessageBoxes base are owned by the
// dialog where their kind says so.
class MainDialogView : public MessageBoxes {
 public:
  // Runs the dialog modally: shows the window, calls dialog.OnInitDialog() once the controls exist,
  // forwards commands until EndDialog; returns the result given to EndDialog.
  virtual int DoModal(MainDialog& dialog) = 0;

  // Data exchange of the path box (control 1000).
  virtual std::string GetPathText() = 0;
  virtual void SetPathText(const std::string& text) = 0;

  // ShowWindow of the "Transfer data" button (control 1003).
  virtual void ShowTransferButton(bool show) = 0;

  // Ends the modal dialog with the result given (kIdOk, kIdCancel).
  virtual void EndDialog(int result) = 0;

  // Adds a separator and the About item (command IDM_ABOUTBOX) to the system menu, or where the
  // toolkit has none, to the dialog's context menu. Returns false when there is no such menu.
  virtual bool AddAboutMenuItem(const std::string& text) = 0;

  // Sets the program icon (resource 128) as the big and the small window icon.
  virtual void SetIcons() = 0;

  // The About box (template 100), modal.
  virtual void ShowAboutBox() = 0;

  // The Open dialog; nullopt when it did not end with OK.
  virtual std::optional<OpenFileResult> ShowOpenFileDialog(const OpenFileRequest& request) = 0;
};

class MainDialog {
 public:
  explicit MainDialog(MainDialogView& view);
  virtual ~MainDialog() = default;
  MainDialog(const MainDialog&) = delete;
  MainDialog& operator=(const MainDialog&) = delete;

  // The path box's text; the command-line file name before the dialog is up.
  std::string m_strPath;
  // The path box held a path when the dialog was initialised (a model file named on the command line).
  bool m_bFromCommandLine = false;
  // An import has saved a row since the dialog was initialised.
  bool m_bImported = false;
  // The measured data file chosen for the report of this run ("测量数据…"); empty: the one beside
  // the reported row's model file.
  std::string m_strDataPath;

  // Data exchange: true = controls into members, false = members into controls.
  void UpdateData(bool saveAndValidate);

  // Runs the command of a control id (IDOK, IDCANCEL, IDC_BUTTON_...) as the message map does. A
  // failure that the command does not handle (a file error ending the import, a store or automation
  // error) is reported in a message box that names it; the dialog stays usable.
  void OnCommand(int id);

  // System menu commands; returns false when the default processing should run.
  bool OnSysCommand(unsigned id);

  // Start-up of the dialog; returns true when it ran to its end. (app/main_dialog.cpp)
  bool OnInitDialog();

  // The handlers, one per button; each lives with its area, as the command-line tool's commands do.
  // The import of g_strModelPath (OK and Enter). (app/main_dialog.cpp; the import: model/import.cpp)
  virtual void OnOK();
  // Closes the store and ends the dialog (Cancel, Esc, window close). (app/main_dialog.cpp)
  virtual void OnCancel();
  // "...": the Open dialog for a model file. (app/main_dialog.cpp)
  void OnBrowse();
  // "OpenExcel": the report in a new workbook. (app/open_excel.cpp)
  void OnOpenExcel();
  // "Transfer data": the hand-off file and the simulator. (app/transfer.cpp)
  void OnTransferData();
  // "Associate mdl". (app/association_command.cpp)
  void OnAssociateMdl();
  // "shortcut". (app/shortcut_command.cpp)
  void OnShortcut();
  // "参数历史…" (Linux): the history workbook, opened in the spreadsheet application; the dialog
  // stays open.
  void OnParameterHistory();
  // "测量数据…" (Linux): the Open dialog for the measured data file that the report of this run
  // draws beside the model; a file that cannot be read is reported and not taken.
  // (app/measured_data_command.cpp)
  void OnMeasuredData();

  // The rule run first by "OpenExcel" and "Transfer data"; returns whether the command goes on.
  // (app/main_dialog.cpp)
  bool PrepareDataSource();

  // The base dialog's OK action: controls into members, then end with kIdOk. Does not import.
  // (app/main_dialog.cpp)
  void EndDialogOk();

  MainDialogView& View() { return m_view; }

 private:
  MainDialogView& m_view;
};

// The text of string 101, the About item of the system menu.
extern const char* const kAboutMenuText;
// The item beside it on Linux (IDM_HISTORY).
extern const char* const kHistoryMenuText;
// And the item after it (IDM_MEASURED_DATA).
extern const char* const kMeasuredDataMenuText;
