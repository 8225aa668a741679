#include "about_dlg.h"

#include <QLabel>
#include <QPushButton>

#include "app_icon.h"
#include "dialog_colors.h"
#include "dialog_builder.h"
#include "res/dialog_templates.h"

CAboutDlg::CAboutDlg(QWidget* parent) : QDialog(parent)
{
  const DialogTemplate& tmpl = res::kAboutDialog;
  setWindowTitle(DialogText(tmpl.caption));
  setFont(DialogFont(tmpl));
  ApplyDialogColors(this);  // no colour handling of its own: the application-wide colours
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
