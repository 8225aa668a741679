#include "dialog_colors.h"

#include <QPalette>
#include <QWidget>

namespace {
// Until the application sets them, the classic dialog colours: button face and black text.
COLORREF g_background = RGB(212, 208, 200);
COLORREF g_text = RGB(0, 0, 0);
QColor qcolor(COLORREF c) { return QColor(GetRValue(c), GetGValue(c), GetBValue(c)); }
}  // namespace

void SetDialogBkColor(COLORREF background, COLORREF text)
{
  g_background = background;
  g_text = text;
}

COLORREF DialogBkColor() { return g_background; }
COLORREF DialogTextColor() { return g_text; }

void ApplyDialogColors(QWidget* dialog)
{
  QPalette pal = dialog->palette();
  for (QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive}) {
    pal.setColor(group, QPalette::Window, qcolor(g_background));
    pal.setColor(group, QPalette::WindowText, qcolor(g_text));
  }
  pal.setColor(QPalette::Disabled, QPalette::Window, qcolor(g_background));
  dialog->setPalette(pal);
  dialog->setAutoFillBackground(true);
}
