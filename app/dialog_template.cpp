// Dialog units to pixels, with the base units measured from the dialog font.
#include "dialog_template.h"

#include <QFontDatabase>
#include <QStringList>
#include <QFontInfo>
#include <QFontMetrics>

QFont DialogFont(const DialogTemplate& tmpl)
{
  QString face = QStringLiteral("Liberation Sans");
  if (!QFontDatabase::families().contains(face)) face = QStringLiteral("DejaVu Sans");
  Q_UNUSED(tmpl.font_face);  // "MS Sans Serif": not available here, see above
  QFont font(face);
  font.setPointSize(tmpl.font_points);
  font.setStyleHint(QFont::SansSerif);
  return font;
}

DialogBaseUnits BaseUnitsOfFont(const QFont& font)
{
  const QFontMetrics metrics(font);
  const int letters = metrics.horizontalAdvance(QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
  return DialogBaseUnits{(letters / 26 + 1) / 2, metrics.height()};
}

namespace {
// MulDiv of the Win32 API: a * b / c rounded to the nearest integer.
int mul_div(int a, int b, int c)
{
  const long long p = static_cast<long long>(a) * b;
  return static_cast<int>(p >= 0 ? (p + c / 2) / c : (p - c / 2) / c);
}
}  // namespace

QRect MapDialogRect(const DialogBaseUnits& units, int x, int y, int cx, int cy)
{
  const int left = mul_div(x, units.cx, 4);
  const int top = mul_div(y, units.cy, 8);
  const int right = mul_div(x + cx, units.cx, 4);
  const int bottom = mul_div(y + cy, units.cy, 8);
  return QRect(left, top, right - left, bottom - top);
}

const DialogItemTemplate* FindDialogItem(const DialogTemplate& tmpl, int id)
{
  for (const DialogItemTemplate& item : tmpl.items) {
    if (item.id == id) return &item;
  }
  return nullptr;
}

QString DialogText(const char* utf8) { return QString::fromUtf8(utf8); }
