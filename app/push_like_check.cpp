#include "push_like_check.h"

#include <QPainter>

CPushLikeCheck::CPushLikeCheck(const QString& text, QWidget* parent) : CShadedButton(text, parent)
{
  setCheckable(true);
}

void CPushLikeCheck::paintEvent(QPaintEvent*)
{
  QPainter painter(this);
  DRAWITEMSTRUCT dis;
  dis.itemState = ItemState() | (isChecked() ? ODS_SELECTED : 0u);
  dis.hDC = &painter;
  dis.rcItem = {0, 0, width(), height()};
  DrawItem(&dis);
}
