// The About box, template 100.
#include <QDialog>
#include <QLabel>
#include <QPushButton>

#include "app/main_dialog_view_linux.h"

namespace qtview {

void ShowAboutDialog(QWidget* parent) {
  const QFont font = DialogFont();
  QDialog about(parent);
  about.setObjectName(QStringLiteral("IDD_ABOUTBOX"));
  about.setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                       Qt::WindowCloseButtonHint);
  about.setFont(font);
  about.setWindowTitle(QStringLiteral("关于 qelmora"));
  about.setFixedSize(MapDialogRect(font, 0, 0, 235, 86).size());

  // The icon control takes the size of the icon.
  auto* icon = new QLabel(&about);
  icon->setObjectName(QStringLiteral("IconStatic"));
  const QRect iconRect = MapDialogRect(font, 11, 17, 20, 20);
  icon->setGeometry(iconRect.x(), iconRect.y(), 32, 32);
  icon->setPixmap(ProgramIcon().pixmap(32, 32));

  struct TextSpec {
    const char* text;
    int x, y, width, height;
  };
  const TextSpec texts[] = {
      {"qelmora 2.0 版", 40, 8, 119, 8},
      {"版权所有 (C) 2026", 40, 20, 119, 8},
      {"新增读入L0功能2012-11-01", 40, 31, 119, 8},
      {"数据导入临时文件", 39, 40, 119, 8},
      {"关联mdl文件", 39, 50, 119, 8},
      {"总结Rp", 39, 59, 119, 8},
      {"解决C数值显示精度问题", 40, 68, 89, 8},
      {"ValueClass", 133, 68, 37, 8},
      {"Eng btn", 183, 28, 37, 8},
  };
  for (const TextSpec& spec : texts) {
    auto* label = new QLabel(QString::fromUtf8(spec.text), &about);
    label->setTextFormat(Qt::PlainText);
    label->setGeometry(MapDialogRect(font, spec.x, spec.y, spec.width, spec.height));
  }

  auto* ok = new QPushButton(QStringLiteral("OK"), &about);
  ok->setObjectName(QStringLiteral("IDOK"));
  ok->setDefault(true);
  ok->setGeometry(MapDialogRect(font, 178, 7, 50, 14));
  QObject::connect(ok, &QPushButton::clicked, &about, &QDialog::accept);

  about.exec();
}

}  // namespace qtview
