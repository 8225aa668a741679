#include "about_dlg.h"

#include <QLabel>
#include <QPushButton>

#include "app_icon.h"
#include "dialog_builder.h"
#include "res/dialog_templates.h"

CAboutDlg::CAboutDlg(QWidget* parent) : QDialog(parent)
{
  const DialogTemplate& tmpl = res::kAboutDialog;
  setWindowTitle(DialogText(tmpl.caption));
  setFont(DialogFont(tmpl));
  // The platform's dialog colours (the program's black dialog colours belong to its skinned
  // main dialog, where the skin shows behind them).
  const DialogBaseUnits units = BaseUnitsOfFont(font());
  setFixedSize(MapDialogRect(units, 0, 0, tmpl.cx, tmpl.cy).size());
  DialogItems items = CreateDialogItems(this, tmpl, units, QPoint(0, 0));
  for (QWidget* control : items.inOrder) {
    if (auto* label = qobject_cast<QLabel*>(control); label != nullptr && label->text().isEmpty()) {
      label->setPixmap(AppIcon().pixmap(32, 32));
    }
  }
  if (auto* ok = qobject_cast<QPushButton*>(items.byId.value(IDOK))) {
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
    ok->setFocus();
  }
  setWindowIcon(AppIcon());
}
