#include "app/main_dialog_view_linux.h"

#include <QContextMenuEvent>
#include <QCoreApplication>
#include <QFileDialog>
#include <QFileInfo>
#include <QFontDatabase>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QHeaderView>
#include <QLayout>
#include <QLibraryInfo>
#include <QLineEdit>
#include <QLocale>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QTranslator>
#include <QTreeView>
#include <algorithm>

#include "base/platform.h"
#include "app/viewer_app.h"
#include "res/resource.h"

namespace qtview {

QFont DialogFont() {
  QFont font(QStringLiteral("WenQuanYi Micro Hei"), 9);
  font.setStyleHint(QFont::SansSerif);
  return font;
}

namespace {

// MulDiv: a * b / c, rounded half away from zero.
int MulDiv(int a, int b, int c) {
  const long long product = static_cast<long long>(a) * b;
  return static_cast<int>(product >= 0 ? (product + c / 2) / c : (product - c / 2) / c);
}

}  // namespace

QRect MapDialogRect(const QFont& font, int x, int y, int width, int height) {
  const QFontMetrics metrics(font);
  // The average width of the 52 Latin letters, rounded, as the dialog manager measures it.
  const int letters = metrics.horizontalAdvance(
      QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
  const int baseX = (letters / 26 + 1) / 2;
  const int baseY = metrics.height();
  return QRect(MulDiv(x, baseX, 4), MulDiv(y, baseY, 8), MulDiv(width, baseX, 4), MulDiv(height, baseY, 8));
}

QIcon ProgramIcon() {
  QIcon icon;
  icon.addFile(QStringLiteral(":/qelmora/icon_32.png"), QSize(32, 32));
  icon.addFile(QStringLiteral(":/qelmora/icon_16.png"), QSize(16, 16));
  return icon;
}

bool InstallQtTranslations() {
  static QTranslator* installed = nullptr;
  if (installed != nullptr) return true;
  auto* translator = new QTranslator(QCoreApplication::instance());
  if (!translator->load(QLocale(QLocale::Chinese, QLocale::China), QStringLiteral("qtbase"), QStringLiteral("_"),
                        QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
    delete translator;
    return false;
  }
  QCoreApplication::installTranslator(translator);
  installed = translator;
  return true;
}

QMessageBox::Icon MessageBoxIcon(unsigned type) {
  switch (type & kMbIconMask) {
    case kMbIconHand: return QMessageBox::Critical;
    case kMbIconQuestion: return QMessageBox::Question;
    case kMbIconExclamation: return QMessageBox::Warning;
    case kMbIconAsterisk: return QMessageBox::Information;
    default: return QMessageBox::NoIcon;
  }
}

MainDialogWindow::MainDialogWindow() {
  setObjectName(QStringLiteral("IDD_MAIN_DIALOG"));
  // Caption and system menu with a close button; no minimise, maximise or help button.
  setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                 Qt::WindowCloseButtonHint);
}

void MainDialogWindow::reject() {
  // Esc, the close button and Alt+F4 are the Cancel command; it decides whether the dialog ends.
  if (dialog != nullptr) dialog->OnCommand(kIdCancel);
}

void MainDialogWindow::contextMenuEvent(QContextMenuEvent* event) {
  if (aboutMenu == nullptr) {
    QDialog::contextMenuEvent(event);
    return;
  }
  aboutMenu->exec(event->globalPos());
}

}  // namespace qtview

namespace {

// A message box as the system shows one. While its owner is not on the screen (a box at start-up,
// before the dialog is shown) or when it has none, it is centred on the screen rather than on the
// owner's place. It is never narrower than its caption: the window manager draws the caption in its
// own, often bold, face beside the frame's buttons, so the width is measured the same way.
class SystemMessageBox final : public QMessageBox {
 public:
  using QMessageBox::QMessageBox;

 protected:
  void showEvent(QShowEvent* event) override {
    QMessageBox::showEvent(event);  // sizes the box and puts it over its owner
    FitCaption();
    QWidget* owner = parentWidget();
    if (owner == nullptr || !owner->isVisible()) {
      const QScreen* screen = owner != nullptr ? owner->screen() : QGuiApplication::primaryScreen();
      if (screen != nullptr) move(screen->availableGeometry().center() - rect().center());
    }
  }

  bool event(QEvent* event) override {
    // The box sizes itself again on every layout request; keep the caption's width.
    const bool handled = QMessageBox::event(event);
    if (event->type() == QEvent::LayoutRequest && isVisible()) FitCaption();
    return handled;
  }

 private:
  void FitCaption() {
    QFont titleFont = QFontDatabase::systemFont(QFontDatabase::TitleFont);
    titleFont.setBold(true);
    const QFontMetrics title(titleFont);
    // The caption, the window icon and three frame buttons, each about a title bar high.
    const int needed = title.horizontalAdvance(windowTitle()) + 4 * (title.height() + 8);
    if (width() >= needed) return;
    const int height = layout() != nullptr && layout()->hasHeightForWidth() ? layout()->totalHeightForWidth(needed)
                                                                           : this->height();
    setFixedSize(needed, std::max(height, this->height()));
  }
};

// One modal message box. "\r\n" breaks lines; the buttons are the standard ones, in the interface's
// language, which the texts refer to ("单击-*确定*-...").
int ShowMessageBox(QWidget* parent, const std::string& text, const std::string& caption, unsigned type) {
  SystemMessageBox box(parent);
  box.setFont(qtview::DialogFont());
  box.setWindowTitle(QString::fromStdString(caption));
  box.setTextFormat(Qt::PlainText);
  QString shown = QString::fromStdString(text);
  shown.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  box.setText(shown);
  box.setIcon(qtview::MessageBoxIcon(type));
  const bool okCancel = (type & 0xF) == kMbOkCancel;
  box.setStandardButtons(okCancel ? QMessageBox::Ok | QMessageBox::Cancel : QMessageBox::Ok);
  box.setDefaultButton(QMessageBox::Ok);
  box.setEscapeButton(okCancel ? QMessageBox::Cancel : QMessageBox::Ok);
  box.exec();
  return box.clickedButton() == box.button(QMessageBox::Ok) ? kIdOk : kIdCancel;
}

}  // namespace

QtMainDialogView::QtMainDialogView() : m_window(new qtview::MainDialogWindow), m_icon(qtview::ProgramIcon()) {
  const QFont font = qtview::DialogFont();
  m_window->setFont(font);
  m_window->setWindowTitle(QStringLiteral("qelmora"));
  const QRect client = qtview::MapDialogRect(font, 0, 0, 320, 200);
  m_window->setFixedSize(client.size());

  struct ButtonSpec {
    int id;
    const char* name;
    const char* text;
    int x, y, width, height;
  };
  auto makeButton = [&](const ButtonSpec& spec) {
    auto* button = new QPushButton(QString::fromUtf8(spec.text), m_window);
    button->setObjectName(QString::fromLatin1(spec.name));
    button->setGeometry(qtview::MapDialogRect(font, spec.x, spec.y, spec.width, spec.height));
    const int id = spec.id;
    QObject::connect(button, &QPushButton::clicked, m_window, [this, id] {
      if (m_window->dialog != nullptr) m_window->dialog->OnCommand(id);
    });
    return button;
  };

  // The controls in tab order: OK, Cancel, the path box, then the command buttons of res/resource.h.
  QPushButton* ok = makeButton({kIdOk, "IDOK", "OK", 76, 118, 50, 14});
  ok->setDefault(true);
  QPushButton* cancel = makeButton({kIdCancel, "IDCANCEL", "Cancel", 167, 117, 50, 14});
  m_pathBox = new QLineEdit(m_window);
  m_pathBox->setObjectName(QStringLiteral("IDC_EDIT_PATH"));
  m_pathBox->setReadOnly(true);
  m_pathBox->setGeometry(qtview::MapDialogRect(font, 45, 83, 183, 13));
  QWidget::setTabOrder(ok, cancel);
  QWidget::setTabOrder(cancel, m_pathBox);

#define QELMORA_BUTTON_SPEC(control, caption, x, y, width, height, handler) \
  ButtonSpec{control, #control, caption, x, y, width, height},
  const ButtonSpec commands[] = {QELMORA_DIALOG_BUTTONS(QELMORA_BUTTON_SPEC)};
#undef QELMORA_BUTTON_SPEC
  QWidget* previous = m_pathBox;
  for (const ButtonSpec& spec : commands) {
    QPushButton* button = makeButton(spec);
    if (spec.id == IDC_BUTTON_TRANSFER) m_transferButton = button;
    QWidget::setTabOrder(previous, button);
    previous = button;
  }
}

QtMainDialogView::~QtMainDialogView() { delete m_window; }

int QtMainDialogView::AppMessageBox(const std::string& text, unsigned type) {
  // The application name: the executable's base name. As the framework does, an exclamation icon
  // unless the type names one.
  if ((type & kMbIconMask) == 0) type |= kMbIconExclamation;
  return ShowMessageBox(m_window, text, SplitPath(ThePlatform().ModuleFileName()).fname, type);
}

int QtMainDialogView::DialogMessageBox(const std::string& text, const std::string& caption, unsigned type) {
  return ShowMessageBox(m_window, text, caption, type);
}

int QtMainDialogView::OwnerlessMessageBox(const std::string& text, const std::string& caption, unsigned type) {
  return ShowMessageBox(nullptr, text, caption, type);
}

int QtMainDialogView::DoModal(MainDialog& dialog) {
  m_window->dialog = &dialog;
  m_ended = false;
  m_result = kIdCancel;
  dialog.OnInitDialog();
  if (!m_ended) {
    m_pathBox->setCursorPosition(0);
    m_window->exec();
  }
  m_window->dialog = nullptr;
  return m_result;
}

std::string QtMainDialogView::GetPathText() { return m_pathBox->text().toStdString(); }

void QtMainDialogView::SetPathText(const std::string& text) {
  m_pathBox->setText(QString::fromStdString(text));
  // Like the edit control, show the beginning of a long path.
  m_pathBox->setCursorPosition(0);
}

void QtMainDialogView::ShowTransferButton(bool show) { m_transferButton->setVisible(show); }

void QtMainDialogView::EndDialog(int result) {
  m_ended = true;
  m_result = result;
  m_window->done(result);
}

bool QtMainDialogView::AddAboutMenuItem(const std::string& text) {
  if (m_window->aboutMenu == nullptr) {
    m_window->aboutMenu = new QMenu(m_window);
    m_window->aboutMenu->setObjectName(QStringLiteral("AboutMenu"));
  }
  m_window->aboutMenu->addSeparator();
  QAction* about = m_window->aboutMenu->addAction(QString::fromStdString(text));
  QObject::connect(about, &QAction::triggered, m_window, [this] {
    if (m_window->dialog != nullptr) m_window->dialog->OnSysCommand(IDM_ABOUTBOX);
  });
  QAction* history = m_window->aboutMenu->addAction(QString::fromUtf8(kHistoryMenuText));
  history->setObjectName(QStringLiteral("IDM_HISTORY"));
  QObject::connect(history, &QAction::triggered, m_window, [this] {
    if (m_window->dialog != nullptr) m_window->dialog->OnCommand(IDM_HISTORY);
  });
  QAction* measured = m_window->aboutMenu->addAction(QString::fromUtf8(kMeasuredDataMenuText));
  measured->setObjectName(QStringLiteral("IDM_MEASURED_DATA"));
  QObject::connect(measured, &QAction::triggered, m_window, [this] {
    if (m_window->dialog != nullptr) m_window->dialog->OnCommand(IDM_MEASURED_DATA);
  });
  return true;
}

void QtMainDialogView::SetIcons() { m_window->setWindowIcon(m_icon); }

void QtMainDialogView::ShowAboutBox() { qtview::ShowAboutDialog(m_window); }

std::optional<OpenFileResult> QtMainDialogView::ShowOpenFileDialog(const OpenFileRequest& request) {
  QFileDialog dialog(m_window, QString::fromStdString(request.title));
  dialog.setOption(QFileDialog::DontUseNativeDialog);
  dialog.setAcceptMode(QFileDialog::AcceptOpen);
  // The file need not exist: the command warns about a missing one itself.
  dialog.setFileMode(QFileDialog::AnyFile);
  QStringList filters;
  for (const auto& [label, pattern] : request.filters) {
    QString filter = QString::fromStdString(label);
    // The dialog filters by the pattern in parentheses at the end of the label; add it when missing.
    const QString suffix = QLatin1Char('(') + QString::fromStdString(pattern) + QLatin1Char(')');
    if (!filter.endsWith(suffix)) filter += QLatin1Char(' ') + suffix;
    filters << filter;
  }
  dialog.setNameFilters(filters);
  if (!filters.isEmpty()) dialog.selectNameFilter(filters.first());
  dialog.setDefaultSuffix(QString::fromStdString(request.defaultExtension));
  // With a model file in the path box, the dialog starts in that file's folder.
  const QFileInfo current(m_pathBox->text());
  if (!m_pathBox->text().isEmpty() && current.absoluteDir().exists()) dialog.setDirectory(current.absolutePath());
  // The name takes the room left; size, type and date are as wide as what they show.
  if (auto* details = dialog.findChild<QTreeView*>(QStringLiteral("treeView"))) {
    QHeaderView* header = details->header();
    header->setStretchLastSection(false);
    header->setSectionResizeMode(0, QHeaderView::Stretch);
    for (int column = 1; column < header->count(); ++column) {
      header->setSectionResizeMode(column, QHeaderView::ResizeToContents);
    }
  }
  if (dialog.exec() != QDialog::Accepted) return std::nullopt;
  const QStringList files = dialog.selectedFiles();
  if (files.isEmpty()) return std::nullopt;
  const QFileInfo chosen(files.first());
  return OpenFileResult{chosen.absoluteFilePath().toStdString(), chosen.fileName().toStdString()};
}

std::unique_ptr<MainDialogView> CreateMainDialogView() { return std::make_unique<QtMainDialogView>(); }
