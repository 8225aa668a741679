// A check box with the push-like style: a shaded button that stays pressed while it is checked.
#pragma once

#include "controls/shaded_button.h"

class CPushLikeCheck : public CShadedButton {
  Q_OBJECT

 public:
  explicit CPushLikeCheck(const QString& text, QWidget* parent = nullptr);

 protected:
  void paintEvent(QPaintEvent* event) override;
};
