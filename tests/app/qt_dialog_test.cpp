// The real Qt dialogs, offscreen: the main dialog's window and controls, OK importing into a real
// store, Enter, Esc and the close button, the Open dialog, the message boxes and the About box. Modal
// windows are found among the top-level widgets by a polling timer and answered like a user would.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QDialogButtonBox>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QFontDatabase>
#include <QFileDialog>
#include <QFileSystemModel>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QStyle>
#include <QTimer>
#include <QTreeView>
#include <fstream>
#include <functional>
#include <memory>

#include "app/globals.h"
#include "app/main_dialog_view_linux.h"
#include "res/resource.h"
#include "store/store.h"
#include "tests/support/store_rows.h"
#include "tests/support/test_support.h"

// Fontconfig keeps the font-fallback patterns that Qt asks it for until exit (the Chinese texts need a
// fallback search); LeakSanitizer would count them against the test.
extern "C" __attribute__((used)) const char* __lsan_default_suppressions() { return "leak:libfontconfig.so\n"; }

namespace {

QApplication& App() {
  // The Open dialog keeps its history in the user's Qt settings: keep the tests' out of the real ones.
  static qtest::TempDir config;
  setenv("XDG_CONFIG_HOME", config.Path().c_str(), 1);
  static int argc = 1;
  static char name[] = "app_qt_dialog_test";
  static char* argv[] = {name, nullptr};
  static QApplication* app = new QApplication(argc, argv);
  // As the program does at start-up.
  static const bool translated = qtview::InstallQtTranslations();
  EXPECT_TRUE(translated) << "Qt's Chinese translations are not installed";
  return *app;
}

QString Q(const std::string& text) { return QString::fromStdString(text); }

// Ends every modal window, innermost first, so that a failed test cannot hang.
void EndAllModals() {
  for (int i = 0; i < 10; ++i) {
    QWidget* modal = QApplication::activeModalWidget();
    if (modal == nullptr) return;
    if (auto* dialog = qobject_cast<QDialog*>(modal)) {
      dialog->done(QDialog::Rejected);
    } else {
      modal->hide();
    }
  }
}

// Runs `action` on the first visible top-level widget of type T that satisfies `match`, once it
// appears. Fails the test (and ends the modal windows) when none appears within ten seconds.
template <class T>
void WhenShown(std::function<void(T*)> action, std::function<bool(T*)> match = {}) {
  auto* timer = new QTimer;
  auto clock = std::make_shared<QElapsedTimer>();
  clock->start();
  QObject::connect(timer, &QTimer::timeout, [timer, clock, action, match] {
    for (QWidget* widget : QApplication::topLevelWidgets()) {
      T* candidate = qobject_cast<T*>(widget);
      if (candidate != nullptr && candidate->isVisible() && (!match || match(candidate))) {
        timer->stop();
        timer->deleteLater();
        action(candidate);
        return;
      }
    }
    if (clock->elapsed() > 10000) {
      timer->stop();
      timer->deleteLater();
      ADD_FAILURE() << "the expected window did not appear";
      EndAllModals();
    }
  });
  timer->start(10);
}

// What a message box showed.
struct SeenBox {
  QString title;
  QString text;
  QStringList buttons;
  QWidget* parent = nullptr;
  QMessageBox::Icon icon = QMessageBox::NoIcon;
  QRect geometry;
};

// Answers the next message box with the button of the text given and records what it showed.
void AnswerMessageBox(SeenBox* seen, const QString& buttonText = QStringLiteral("确定")) {
  WhenShown<QMessageBox>([seen, buttonText](QMessageBox* box) {
    seen->title = box->windowTitle();
    seen->text = box->text();
    seen->parent = box->parentWidget();
    seen->icon = box->icon();
    seen->geometry = box->geometry();
    QAbstractButton* chosen = nullptr;
    for (QAbstractButton* button : box->buttons()) {
      seen->buttons << button->text();
      if (button->text() == buttonText) chosen = button;
    }
    if (chosen != nullptr) {
      chosen->click();
    } else {
      ADD_FAILURE() << "no button " << buttonText.toStdString();
      box->done(0);
    }
  });
}

// Types a name into the Open dialog's file name field, as the user does.
void TypeFileName(QFileDialog* files, const QString& name) {
  auto* field = files->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
  ASSERT_NE(field, nullptr);
  field->setFocus();
  field->setText(name);
}

// Whether the Open dialog's type and date columns are as wide as what they show, once the folder
// shown has been read.
bool TypeAndDateColumnsFit(QFileDialog* files) {
  auto* details = files->findChild<QTreeView*>(QStringLiteral("treeView"));
  if (details == nullptr) {
    ADD_FAILURE() << "no detail view";
    return false;
  }
  QElapsedTimer clock;
  clock.start();
  while (details->model()->rowCount(details->rootIndex()) == 0 && clock.elapsed() < 5000) {
    QApplication::processEvents(QEventLoop::AllEvents, 50);
  }
  QApplication::processEvents();
  if (details->model()->rowCount(details->rootIndex()) == 0) {
    ADD_FAILURE() << "the folder was not listed";
    return false;
  }
  QHeaderView* header = details->header();
  bool fit = true;
  for (int column : {2, 3}) {  // type, date modified
    const int needed = std::max(static_cast<QAbstractItemView*>(details)->sizeHintForColumn(column), header->sectionSizeHint(column));
    if (header->sectionSize(column) < needed) {
      ADD_FAILURE() << "column " << column << " is " << header->sectionSize(column) << " wide, needs " << needed;
      fit = false;
    }
  }
  return fit;
}

// Whether a label or button shows its whole text in its rectangle.
bool ShowsWholeText(QWidget* widget, const QString& text) {
  const QFontMetrics metrics(widget->font());
  int marginX = 0;
  int marginY = 0;
  if (qobject_cast<QPushButton*>(widget) != nullptr) {
    marginX = widget->style()->pixelMetric(QStyle::PM_ButtonMargin, nullptr, widget);
    marginY = 2 * widget->style()->pixelMetric(QStyle::PM_DefaultFrameWidth, nullptr, widget);
  }
  return metrics.horizontalAdvance(text) + marginX <= widget->width() && metrics.height() + marginY <= widget->height();
}

class QtDialogTest : public ::testing::Test {
 protected:
  void SetUp() override {
    App();
    platform.moduleFileName = program.Dir() + "qelmora";
    platform.systemDirectory = system.Path().string();
    ASSERT_NO_THROW(CreateParameterStore(program.Dir()));
    view = std::make_unique<QtMainDialogView>();
    dialog = std::make_unique<MainDialog>(*view);
    AfxSetMessageBoxes(view.get());
  }

  void TearDown() override {
    AfxSetMessageBoxes(nullptr);
    dialog.reset();
    view.reset();
    CloseParameterStore();
    g_strModelPath.clear();
    g_strModelFileName.clear();
  }

  // Runs the dialog modally; `steps` run once it is up. A dialog that the steps leave open is ended.
  int RunDialog(const std::function<void()>& steps) {
    QTimer::singleShot(0, [this, steps] {
      steps();
      if (view->Window()->isVisible()) {
        EndAllModals();
        view->EndDialog(-1);
      }
    });
    return view->DoModal(*dialog);
  }

  template <class T = QPushButton>
  T* Control(const char* name) {
    T* control = view->Window()->findChild<T*>(QString::fromLatin1(name));
    EXPECT_NE(control, nullptr) << name;
    return control;
  }

  std::string WriteModel(const std::string& name) {
    const std::string path = models.Dir() + name;
    qtest::WriteFileBytes(path, qtest::ModelText(kValues));
    return path;
  }

  const std::vector<std::string> kValues = {"1.5E-07", "0.012", "0.004", "3E-05", "0.8", "0.023",
                                            "12.4",    "0.9",   "0.1",   "356",   "0.65"};
  qtest::TempDir program;
  qtest::TempDir system;
  qtest::TempDir models;
  qtest::TestPlatform platform;
  std::unique_ptr<QtMainDialogView> view;
  std::unique_ptr<MainDialog> dialog;
};

TEST_F(QtDialogTest, ComesUpWithTheEightControlsInTabOrderAndProportion) {
  struct Expected {
    const char* name;
    const char* text;
    int x, y, width, height;
  };
  const Expected controls[] = {
      {"IDOK", "OK", 76, 118, 50, 14},
      {"IDCANCEL", "Cancel", 167, 117, 50, 14},
      {"IDC_EDIT_PATH", "", 45, 83, 183, 13},
      {"IDC_BUTTON_BROWSE", "...", 241, 82, 26, 14},
      {"IDC_BUTTON_EXCEL", "OpenExcel", 120, 150, 50, 14},
      {"IDC_BUTTON_TRANSFER", "Transfer data", 114, 173, 64, 14},
      {"IDC_BUTTON_ASSOCIATE", "Associate mdl", 256, 10, 53, 13},
      {"IDC_BUTTON_SHORTCUT", "shortcut", 198, 9, 50, 14},
  };
  // The simulation program is installed: all eight controls are visible.
  std::filesystem::create_directories(program.Path() / "sim");
  qtest::WriteFileBytes(program.Path() / "sim" / "Kambrisolve.exe", "MZ");

  const int result = RunDialog([&] {
    QDialog* window = view->Window();
    ASSERT_TRUE(window->isVisible());
    EXPECT_EQ(window->windowTitle(), QStringLiteral("qelmora"));
    EXPECT_TRUE(window->isModal());
    EXPECT_FALSE(window->windowFlags() & Qt::WindowMinimizeButtonHint);
    EXPECT_FALSE(window->windowFlags() & Qt::WindowMaximizeButtonHint);
    EXPECT_TRUE(window->windowFlags() & Qt::WindowCloseButtonHint);
    EXPECT_EQ(window->minimumSize(), window->maximumSize());  // fixed size
    const QList<QSize> iconSizes = window->windowIcon().availableSizes();
    EXPECT_TRUE(iconSizes.contains(QSize(32, 32)));
    EXPECT_TRUE(iconSizes.contains(QSize(16, 16)));

    // Dialog units: 320 x 200 for the client area, scaled by the font; every control sits at its
    // place in the same units (within a pixel of rounding).
    const double unitX = window->width() / 320.0;
    const double unitY = window->height() / 200.0;
    const QFontMetrics metrics(window->font());
    EXPECT_NEAR(unitX * 4, metrics.averageCharWidth(), 2.0);
    EXPECT_NEAR(unitY * 8, metrics.height(), 0.5);
    std::vector<QWidget*> widgets;
    for (const Expected& c : controls) {
      SCOPED_TRACE(c.name);
      QWidget* widget = Control<QWidget>(c.name);
      ASSERT_NE(widget, nullptr);
      widgets.push_back(widget);
      EXPECT_TRUE(widget->isVisible());
      EXPECT_EQ(widget->focusPolicy() & Qt::TabFocus, Qt::TabFocus);
      EXPECT_NEAR(widget->x(), c.x * unitX, 1.0);
      EXPECT_NEAR(widget->y(), c.y * unitY, 1.0);
      EXPECT_NEAR(widget->width(), c.width * unitX, 1.0);
      EXPECT_NEAR(widget->height(), c.height * unitY, 1.0);
      if (auto* button = qobject_cast<QPushButton*>(widget)) {
        EXPECT_EQ(button->text(), QString::fromUtf8(c.text));
      }
    }
    // Tab order: from OK through the focus chain.
    QWidget* next = widgets[0];
    for (std::size_t i = 1; i < widgets.size(); ++i) {
      do {
        next = next->nextInFocusChain();
      } while (next != window && std::find(widgets.begin(), widgets.end(), next) == widgets.end());
      EXPECT_EQ(next, widgets[i]) << "after " << controls[i - 1].name;
    }

    EXPECT_TRUE(Control("IDOK")->isDefault());
    auto* path = Control<QLineEdit>("IDC_EDIT_PATH");
    EXPECT_TRUE(path->isReadOnly());
    EXPECT_EQ(path->text(), QString());

    Control("IDCANCEL")->click();
  });
  EXPECT_EQ(result, kIdCancel);
  EXPECT_FALSE(view->Window()->isVisible());
}

TEST_F(QtDialogTest, TransferButtonIsHiddenWithoutTheSimulationProgram) {
  RunDialog([&] {
    EXPECT_TRUE(Control("IDC_BUTTON_TRANSFER")->isHidden());
    EXPECT_TRUE(Control("IDC_BUTTON_EXCEL")->isVisible());
    Control("IDCANCEL")->click();
  });
}

TEST_F(QtDialogTest, OkAndEnterImportAndLeaveTheDialogOpen) {
  const std::string model = WriteModel("fit.mdl");
  dialog->m_strPath = model;

  SeenBox first;
  SeenBox second;
  const int result = RunDialog([&] {
    EXPECT_EQ(Control<QLineEdit>("IDC_EDIT_PATH")->text(), Q(model));

    AnswerMessageBox(&first);
    Control("IDOK")->click();
    EXPECT_EQ(qtest::StoreRows(program.Dir()), std::vector<std::vector<std::string>>{kValues});
    EXPECT_TRUE(view->Window()->isVisible());

    // Enter on the focused control presses the default button: a second import, still open.
    AnswerMessageBox(&second);
    QWidget* focus = QApplication::focusWidget() != nullptr ? QApplication::focusWidget() : view->Window();
    QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
    QApplication::sendEvent(focus, &enter);
    EXPECT_EQ(qtest::StoreRows(program.Dir()).size(), 2u);
    EXPECT_TRUE(view->Window()->isVisible());

    Control("IDCANCEL")->click();
  });
  EXPECT_EQ(result, kIdCancel);
  EXPECT_EQ(first.title, QStringLiteral("qelmora"));  // the executable's base name
  EXPECT_EQ(first.text, QStringLiteral("插入成功!"));
  EXPECT_EQ(first.parent, view->Window());
  EXPECT_EQ(second.text, QStringLiteral("插入成功!"));
  EXPECT_TRUE(dialog->m_bImported);
}

TEST_F(QtDialogTest, EscapeIsCancelAndClosesTheStore) {
  const int result = RunDialog([&] {
    QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
    QApplication::sendEvent(view->Window(), &escape);
  });
  EXPECT_EQ(result, kIdCancel);
  EXPECT_FALSE(view->Window()->isVisible());
  EXPECT_FALSE(ParameterStoreConnected());
}

TEST_F(QtDialogTest, CloseButtonIsCancel) {
  const int result = RunDialog([&] { EXPECT_TRUE(view->Window()->close()); });
  EXPECT_EQ(result, kIdCancel);
  EXPECT_FALSE(view->Window()->isVisible());
  EXPECT_FALSE(ParameterStoreConnected());
}

TEST_F(QtDialogTest, OpenDialogChoosesAFileAndATypedNameGetsTheDefaultExtension) {
  const std::string model = WriteModel("chosen.mdl");
  qtest::WriteFileBytes(models.Path() / "notes.txt", "x");
  QString title;
  QStringList filters;
  QString selectedFilter;
  QStringList modelFilters;
  QString suffix;
  SeenBox missing;
  QString startDirectory;
  bool columnsFit = false;

  RunDialog([&] {
    WhenShown<QFileDialog>([&](QFileDialog* files) {
      title = files->windowTitle();
      filters = files->nameFilters();
      selectedFilter = files->selectedNameFilter();
      suffix = files->defaultSuffix();
      if (auto* model = files->findChild<QFileSystemModel*>()) modelFilters = model->nameFilters();
      EXPECT_EQ(files->parentWidget(), view->Window());
      files->setDirectory(Q(models.Dir()));
      TypeFileName(files, QStringLiteral("chosen.mdl"));
      static_cast<QDialog*>(files)->accept();  // QFileDialog::accept, as the Open button does
    });
    Control("IDC_BUTTON_BROWSE")->click();
    EXPECT_EQ(Control<QLineEdit>("IDC_EDIT_PATH")->text(), Q(model));
    EXPECT_EQ(g_strModelPath, model);
    EXPECT_EQ(g_strModelFileName, "chosen.mdl");

    // A name typed without extension, for a file that does not exist. The dialog starts in the folder
    // of the file in the path box.
    WhenShown<QFileDialog>([&](QFileDialog* files) {
      startDirectory = files->directory().absolutePath();
      columnsFit = TypeAndDateColumnsFit(files);
      TypeFileName(files, QStringLiteral("abc"));
      AnswerMessageBox(&missing);
      static_cast<QDialog*>(files)->accept();  // QFileDialog::accept, as the Open button does
    });
    Control("IDC_BUTTON_BROWSE")->click();
    EXPECT_EQ(Control<QLineEdit>("IDC_EDIT_PATH")->text(), Q(models.Dir() + "abc.txt"));

    // Cancel changes nothing.
    WhenShown<QFileDialog>([](QFileDialog* files) { files->reject(); });
    Control("IDC_BUTTON_BROWSE")->click();
    EXPECT_EQ(Control<QLineEdit>("IDC_EDIT_PATH")->text(), Q(models.Dir() + "abc.txt"));
    EXPECT_EQ(g_strModelPath, models.Dir() + "abc.txt");

    Control("IDCANCEL")->click();
  });

  // The program directory is short enough to be the whole title.
  ASSERT_LE(program.Dir().size(), 40u);
  EXPECT_EQ(title, Q(program.Dir()));
  EXPECT_EQ(filters, (QStringList{QStringLiteral("FILE(*.mdl)"), QStringLiteral("FILE(*.*)")}));
  EXPECT_EQ(selectedFilter, QStringLiteral("FILE(*.mdl)"));
  EXPECT_EQ(modelFilters, QStringList{QStringLiteral("*.mdl")});  // the label's pattern really filters
  EXPECT_EQ(suffix, QStringLiteral("txt"));
  EXPECT_EQ(startDirectory, QFileInfo(Q(models.Dir() + "chosen.mdl")).absolutePath());
  EXPECT_TRUE(columnsFit);
  EXPECT_EQ(missing.text, QStringLiteral("无法找到文件：abc.txt"));
  EXPECT_EQ(missing.title, QStringLiteral("qelmora"));
}

TEST_F(QtDialogTest, MessageBoxesShowLinesButtonsAndOwners) {
  const char* question =
      "您没有导入-mdl-文件\r\n\r\n单击-*确定*-继续打开上次导入的mdl文件数据\r\n\r\n单击-*取消*-返回!\r\n";
  SeenBox asked;
  AnswerMessageBox(&asked, QStringLiteral("取消"));
  EXPECT_EQ(DialogMessageBox(question, "信息提示!", kMbOkCancel), kIdCancel);
  EXPECT_EQ(asked.title, QStringLiteral("信息提示!"));
  EXPECT_EQ(asked.text, QString::fromUtf8(question).replace(QStringLiteral("\r\n"), QStringLiteral("\n")));
  EXPECT_FALSE(asked.text.contains(QLatin1Char('\r')));
  EXPECT_EQ(asked.buttons, (QStringList{QStringLiteral("确定"), QStringLiteral("取消")}));
  EXPECT_EQ(asked.parent, view->Window());

  SeenBox accepted;
  AnswerMessageBox(&accepted, QStringLiteral("确定"));
  EXPECT_EQ(DialogMessageBox(question, "信息提示!", kMbOkCancel), kIdOk);

  // Esc on a box with OK alone answers OK.
  WhenShown<QMessageBox>([](QMessageBox* box) {
    QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
    QApplication::sendEvent(box, &escape);
  });
  EXPECT_EQ(DialogMessageBox("本次打开是数据来自上次导入的mdl文件", "警告!", kMbOk), kIdOk);

  SeenBox ownerless;
  AnswerMessageBox(&ownerless);
  EXPECT_EQ(OwnerlessMessageBox("<b>not markup</b>", "Notice", kMbOk), kIdOk);
  EXPECT_EQ(ownerless.parent, nullptr);
  EXPECT_EQ(ownerless.title, QStringLiteral("Notice"));
  EXPECT_EQ(ownerless.text, QStringLiteral("<b>not markup</b>"));
  EXPECT_EQ(ownerless.buttons, QStringList{QStringLiteral("确定")});

  // The application's boxes carry the executable's base name.
  platform.moduleFileName = program.Dir() + "renamed.bin";
  SeenBox app;
  AnswerMessageBox(&app);
  EXPECT_EQ(AfxMessageBox("text"), kIdOk);
  EXPECT_EQ(app.title, QStringLiteral("renamed"));
}

TEST_F(QtDialogTest, ContextMenuOffersTheAboutBox) {
  QStringList menuTexts;
  QString aboutTitle;
  QStringList aboutTexts;
  QSize aboutSize;
  bool aboutIcon = false;
  QStringList clipped;
  RunDialog([&] {
    WhenShown<QMenu>([&](QMenu* menu) {
      QAction* about = nullptr;
      for (QAction* action : menu->actions()) {
        if (action->isSeparator()) continue;
        menuTexts << action->text();
        if (about == nullptr) about = action;
      }
      WhenShown<QDialog>(
          [&](QDialog* box) {
            aboutTitle = box->windowTitle();
            for (QLabel* label : box->findChildren<QLabel*>()) {
              if (!label->pixmap().isNull()) aboutIcon = true;
              if (label->text().isEmpty()) continue;
              aboutTexts << label->text();
              if (!ShowsWholeText(label, label->text())) clipped << label->text();
            }
            aboutSize = box->size();
            auto* ok = box->findChild<QPushButton*>(QStringLiteral("IDOK"));
            if (!ShowsWholeText(ok, ok->text())) clipped << ok->text();
            ok->click();
          },
          [](QDialog* box) { return box->objectName() == QStringLiteral("IDD_ABOUTBOX"); });
      if (about != nullptr) {
        about->activate(QAction::Trigger);
      }
      menu->close();
    });
    QContextMenuEvent event(QContextMenuEvent::Mouse, QPoint(10, 10), view->Window()->mapToGlobal(QPoint(10, 10)));
    QApplication::sendEvent(view->Window(), &event);
    EXPECT_TRUE(view->Window()->isVisible());
    Control("IDCANCEL")->click();
  });

  // The About item, and beside it the parameter history.
  EXPECT_EQ(menuTexts, (QStringList{QStringLiteral("关于 qelmora(&A)..."), QStringLiteral("参数历史…")}));
  EXPECT_EQ(aboutTitle, QStringLiteral("关于 qelmora"));
  EXPECT_TRUE(aboutIcon);
  for (const char* text : {"qelmora 2.0 版", "新增读入L0功能2012-11-01", "数据导入临时文件", "关联mdl文件", "总结Rp",
                           "解决C数值显示精度问题", "ValueClass", "Eng btn"}) {
    EXPECT_TRUE(aboutTexts.contains(QString::fromUtf8(text))) << text;
  }
  EXPECT_EQ(aboutTexts.size(), 9);
  // Every text and the OK button are whole, at any scale the tests run under.
  EXPECT_EQ(clipped, QStringList());
  // 235 x 86 dialog units in the proportion of the main dialog's 320 x 200.
  const QSize main = view->Window()->size();
  EXPECT_NEAR(aboutSize.width(), main.width() * 235.0 / 320.0, 1.0);
  EXPECT_NEAR(aboutSize.height(), main.height() * 86.0 / 200.0, 1.0);
}

TEST_F(QtDialogTest, QtsOwnTextsAreInChineseWhateverTheSystemLanguage) {
  // The tests run under the C locale.
  QDialogButtonBox standard(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
  EXPECT_EQ(standard.button(QDialogButtonBox::Ok)->text(), QStringLiteral("确定"));
  EXPECT_EQ(standard.button(QDialogButtonBox::Cancel)->text(), QStringLiteral("取消"));

  QStringList labels;
  QStringList buttons;
  RunDialog([&] {
    WhenShown<QFileDialog>([&](QFileDialog* files) {
      for (QLabel* label : files->findChildren<QLabel*>()) labels << label->text();
      for (QPushButton* button : files->findChildren<QPushButton*>()) buttons << button->text();
      files->reject();
    });
    Control("IDC_BUTTON_BROWSE")->click();
    Control("IDCANCEL")->click();
  });
  EXPECT_TRUE(labels.contains(QStringLiteral("查找范围："))) << labels.join(u'|').toStdString();
  EXPECT_TRUE(labels.contains(QStringLiteral("文件类型："))) << labels.join(u'|').toStdString();
  EXPECT_TRUE(buttons.contains(QStringLiteral("打开(&O)"))) << buttons.join(u'|').toStdString();
  EXPECT_TRUE(buttons.contains(QStringLiteral("取消"))) << buttons.join(u'|').toStdString();
}

TEST_F(QtDialogTest, MessageBoxIconsFollowTheirType) {
  EXPECT_EQ(qtview::MessageBoxIcon(kMbOk), QMessageBox::NoIcon);
  EXPECT_EQ(qtview::MessageBoxIcon(kMbOkCancel), QMessageBox::NoIcon);
  EXPECT_EQ(qtview::MessageBoxIcon(kMbOk | kMbIconHand), QMessageBox::Critical);
  EXPECT_EQ(qtview::MessageBoxIcon(kMbOkCancel | kMbIconQuestion), QMessageBox::Question);
  EXPECT_EQ(qtview::MessageBoxIcon(kMbOk | kMbIconExclamation), QMessageBox::Warning);
  EXPECT_EQ(qtview::MessageBoxIcon(kMbOk | kMbIconAsterisk), QMessageBox::Information);

  // The application's boxes get the framework's exclamation unless their type names an icon; the
  // others show the icon their type names, or none.
  struct Case {
    std::function<int()> show;
    QMessageBox::Icon expected;
  };
  const Case cases[] = {
      {[] { return AfxMessageBox("插入成功!"); }, QMessageBox::Warning},
      {[] { return AfxMessageBox("text", kMbOk | kMbIconAsterisk); }, QMessageBox::Information},
      {[] { return DialogMessageBox("文件关联设置成功!", "信息提示", kMbOk); }, QMessageBox::NoIcon},
      {[] { return DialogMessageBox("text", "caption", kMbOkCancel | kMbIconQuestion); }, QMessageBox::Question},
      {[] { return OwnerlessMessageBox("文件关联设置失败", "错误提示", kMbOk); }, QMessageBox::NoIcon},
      {[] { return OwnerlessMessageBox("text", "caption", kMbOk | kMbIconHand); }, QMessageBox::Critical},
  };
  for (const Case& c : cases) {
    SeenBox seen;
    AnswerMessageBox(&seen);
    EXPECT_EQ(c.show(), kIdOk);
    EXPECT_EQ(seen.icon, c.expected) << seen.text.toStdString();
  }
}

TEST_F(QtDialogTest, ABoxBeforeTheDialogIsUpIsCentredOnTheScreenAndShowsItsWholeCaption) {
  // A store that cannot be opened: its failure is reported while the dialog initialises, before its
  // window is shown.
  std::ofstream(program.Path() / "dravo.mdb", std::ios::binary | std::ios::trunc) << std::string(4096, 'x');
  SeenBox failure;
  QFont titleFont = QFontDatabase::systemFont(QFontDatabase::TitleFont);
  titleFont.setBold(true);
  const QString caption = QStringLiteral("qelmora");
  AnswerMessageBox(&failure);
  RunDialog([&] { Control("IDCANCEL")->click(); });

  EXPECT_TRUE(failure.text.startsWith(QStringLiteral("连接数据库失败!"))) << failure.text.toStdString();
  EXPECT_EQ(failure.parent, view->Window());
  EXPECT_EQ(failure.icon, QMessageBox::Warning);
  const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
  EXPECT_NEAR(failure.geometry.center().x(), screen.center().x(), 2);
  EXPECT_NEAR(failure.geometry.center().y(), screen.center().y(), 2);
  EXPECT_GE(failure.geometry.width(), QFontMetrics(titleFont).horizontalAdvance(caption));

  // A long caption over a short text: the box is wider than the caption.
  const QString longCaption = QStringLiteral("错误提示错误提示错误提示错误提示错误提示错误提示");
  SeenBox wide;
  AnswerMessageBox(&wide);
  DialogMessageBox("x", longCaption.toStdString(), kMbOk);
  EXPECT_GT(wide.geometry.width(), QFontMetrics(titleFont).horizontalAdvance(longCaption));
}

}  // namespace
