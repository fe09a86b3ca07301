#include "app/main_dialog.h"

#include "app/globals.h"
#include "base/platform.h"
#include "handoff/handoff.h"
#include "model/import.h"
#include "model/model_reader.h"
#include "history/history_xlsx.h"
#include "app/import_command.h"
#include "app/run_store.h"
#include "res/resource.h"
#include "store/store.h"
#include "store/store_location.h"

const char* const kAboutMenuText = "关于 qelmora(&A)...";
const char* const kHistoryMenuText = "参数历史…";
const char* const kMeasuredDataMenuText = "测量数据…";

namespace {

// The location record: the executable's path padded with zero bytes to a fixed size.
constexpr const char* kLocationRecordName = "121125.stp";
constexpr std::size_t kLocationRecordSize = 1000;

// The Open dialog's title holds at most this many bytes; a longer directory keeps its tail.
constexpr std::size_t kTitleLimit = 40;
constexpr const char* kTitleEllipsis = "...";

// Whether a cut before text[pos] would split a character of the system code page.
bool InsideCharacter(const std::string& text, std::size_t pos) {
#ifdef _WIN32
  // Double-byte code page: only a walk from the start tells lead bytes from trail bytes.
  std::size_t i = 0;
  while (i < pos) {
    const unsigned char c = static_cast<unsigned char>(text[i]);
    i += (IsSystemLeadByte(c) && i + 1 < text.size()) ? 2 : 1;
  }
  return i != pos;
#else
  // UTF-8: continuation bytes are 10xxxxxx.
  return pos < text.size() && (static_cast<unsigned char>(text[pos]) & 0xC0) == 0x80;
#endif
}

// The title of the Open dialog from the directory part of the program's path: the whole of it when it
// fits, otherwise "..." and its last bytes, 40 bytes in all. The cut never splits a character; it then
// moves forward to the next character and the title is shorter.
std::string BrowseTitle(const std::string& directory) {
  if (directory.size() <= kTitleLimit) return directory;
  std::size_t start = directory.size() - (kTitleLimit - std::char_traits<char>::length(kTitleEllipsis));
  while (start < directory.size() && InsideCharacter(directory, start)) ++start;
  return kTitleEllipsis + directory.substr(start);
}

}  // namespace

MainDialog::MainDialog(MainDialogView& view) : m_view(view) {}

void MainDialog::UpdateData(bool saveAndValidate) {
  if (saveAndValidate) {
    m_strPath = m_view.GetPathText();
  } else {
    m_view.SetPathText(m_strPath);
  }
}

void MainDialog::OnCommand(int id) {
  try {
    switch (id) {
      case kIdOk: OnOK(); break;
      case kIdCancel: OnCancel(); break;
#define QELMORA_DISPATCH(control, caption, x, y, width, height, handler) \
  case control: handler(); break;
      QELMORA_DIALOG_BUTTONS(QELMORA_DISPATCH)
#undef QELMORA_DISPATCH
      case IDM_HISTORY: OnParameterHistory(); break;
      case IDM_MEASURED_DATA: OnMeasuredData(); break;
      default: break;
    }
  } catch (const FileException& e) {
    // A model file that could not be read ends the command; the framework reports it and the dialog
    // goes on.
    AfxMessageBox(e.ReportText());
  } catch (const ComError& e) {
    AfxMessageBox(ComErrorText(e.Error()));
  } catch (const std::exception& e) {
    AfxMessageBox(e.what());
  }
}

// The series of the current model file's folder, and the whole history on a sheet of its own.
void MainDialog::OnParameterHistory() { ShowHistoryWorkbook(g_strModelPath); }

bool MainDialog::OnSysCommand(unsigned id) {
  if ((id & 0xFFF0) == IDM_ABOUTBOX) {
    m_view.ShowAboutBox();
    return true;
  }
  return false;
}

bool MainDialog::OnInitDialog() {
  // The command-line file name (or nothing) into the path box.
  UpdateData(false);

  // The About item and the icons.
  const std::string aboutText = kAboutMenuText;
  if (!aboutText.empty()) m_view.AddAboutMenuItem(aboutText);
  m_view.SetIcons();

  // The location record: where the program lives, for other programs to find it. A record that cannot
  // be written is reported, and the start-up goes on without it.
  Platform& platform = ThePlatform();
  const std::string recordPath = platform.SystemDirectory() + kPathSeparator + kLocationRecordName;
  const std::string modulePath = platform.ModuleFileName();
  bool recordWritten = false;
  // The path and at least one terminating zero byte must fit; a longer path is refused, not cut, and
  // an unknown one is never recorded as an empty path.
  if (!modulePath.empty() && modulePath.size() < kLocationRecordSize) {
    std::string record = modulePath;
    record.resize(kLocationRecordSize, '\0');
    recordWritten = platform.WriteWholeFileExclusive(recordPath, record) == 0;
  }
  if (!recordWritten) DialogMessageBox("error(stp)", "error indication!", kMbOk);

  m_bImported = false;
  m_bFromCommandLine = false;
  if (!m_strPath.empty()) m_bFromCommandLine = true;
  g_strModelPath = m_strPath;

  UpdateData(false);

  // The store stays open for the whole run; it reports its own failure. Without the program's path
  // its Data Source would be a file of the current directory: the store is not opened then. An
  // installed program's store is made on its first run, and the user is told where.
  if (modulePath.empty()) {
    AfxMessageBox(kProgramPathUnknownText);
  } else {
    // The store the configuration names (a lab's server, say), else the local one. A configuration
    // that cannot be read leaves the run without a store, as a store that does not open does.
    try {
      if (const std::optional<std::string> configured = ConfiguredStoreLocation()) {
        OpenParameterStore(StoreLocationOf(*configured));
      } else {
        const std::string storeDirectory = StoreDirectory();
        CreateUserStoreShown(storeDirectory);
        OpenParameterStore(storeDirectory);
      }
    } catch (const StoreError& e) {
      AfxMessageBox(StoreConnectFailureText(e), kMbOk);
    }
  }

  // "Transfer data" only when the simulation program is installed.
  m_view.ShowTransferButton(!modulePath.empty() && platform.Exists(SimulatorProgramPath()));
  return true;
}

void MainDialog::OnOK() {
  if (!m_bFromCommandLine) AfxMessageBox(g_strModelPath);
  if (!g_strModelPath.empty()) {
    // Only a saved row is an import: a failed one must not let a command go on with an older row.
    if (RunImport(g_strModelPath)) m_bImported = true;
  } else {
    AfxMessageBox("请查找mdl文件!");
  }
}

void MainDialog::OnCancel() {
  // A store that never opened (its failure was reported at start-up) has nothing to close.
  CloseParameterStore();
  m_view.EndDialog(kIdCancel);
}

void MainDialog::OnBrowse() {
  const PathParts parts = SplitPath(ThePlatform().ModuleFileName());
  UpdateData(true);

  OpenFileRequest request;
  request.title = BrowseTitle(parts.dir);
  request.defaultExtension = "txt";
  request.filters = {{"FILE(*.mdl)", "*.mdl"}, {"FILE(*.*)", "*.*"}};
  const std::optional<OpenFileResult> chosen = m_view.ShowOpenFileDialog(request);
  if (!chosen) return;

  g_strModelPath = chosen->pathName;
  g_strModelFileName = chosen->fileName;
  if (!ThePlatform().Exists(g_strModelPath)) AfxMessageBox("无法找到文件：" + g_strModelFileName);
  m_strPath = g_strModelPath;
  UpdateData(false);
}

bool MainDialog::PrepareDataSource() {
  // A file named on the command line is imported before anything is asked.
  // An import run here that saved nothing ends the command; its messages have been shown.
  if (m_bFromCommandLine && !m_bImported) {
    OnOK();
    if (!m_bImported) return false;
  }
  if (m_strPath.empty()) {
    if (DialogMessageBox("您没有导入-mdl-文件\r\n\r\n单击-*确定*-继续打开上次导入的mdl文件数据\r\n\r\n单击-*取消*-返回!\r\n",
                         "信息提示!", kMbOkCancel) != kIdOk) {
      return false;
    }
    DialogMessageBox("本次打开是数据来自上次导入的mdl文件", "警告!", kMbOk);
    return true;
  }
  if (!m_bImported) OnOK();
  return m_bImported;
}

void MainDialog::EndDialogOk() {
  UpdateData(true);
  m_view.EndDialog(kIdOk);
}
