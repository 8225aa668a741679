// One widget per template item; the kinds map onto the program's control classes.
#include "dialog_builder.h"

#include <QCheckBox>
#include <QLabel>
#include <QSlider>
#include <algorithm>

#include "color_label.h"
#include "controls/shaded_button.h"
#include "controls/shaded_progress_ctrl.h"
#include "push_like_check.h"
#include "res/resource.h"

namespace {

const char* const kIdProperty = "qelpDialogItemId";

QWidget* make_static(QWidget* parent, const DialogItemTemplate& item)
{
  // The status line is a CColorLabel from the start: it is subclassed during initialisation.
  QLabel* label = item.id == IDC_STATUS ? new CColorLabel(parent) : new QLabel(parent);
  label->setText(DialogText(item.text));
  label->setTextFormat(Qt::PlainText);
  Qt::Alignment align = (item.style & DS_CENTER) ? Qt::AlignHCenter : Qt::AlignLeft;
  align |= (item.style & DS_CENTERIMAGE) ? Qt::AlignVCenter : Qt::AlignTop;
  label->setAlignment(align);
  if (item.style & DS_STATICEDGE) {
    label->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    label->setLineWidth(1);
  }
  return label;
}

QWidget* make_item(QWidget* parent, const DialogItemTemplate& item)
{
  const QString text = DialogText(item.text);
  switch (item.kind) {
    case DialogItemKind::PushButton:
    case DialogItemKind::DefPushButton: {
      auto* button = new CShadedButton(text, parent);
      button->setAutoDefault(false);
      button->setDefault(item.kind == DialogItemKind::DefPushButton);
      return button;
    }
    case DialogItemKind::StaticText:
      return make_static(parent, item);
    case DialogItemKind::AutoCheckBox:
      if (item.style & DS_PUSHLIKE) return new CPushLikeCheck(text, parent);
      return new QCheckBox(text, parent);
    case DialogItemKind::ProgressBar:
      return new CShadedProgressCtrl(parent);
    case DialogItemKind::Slider: {
      auto* slider = new QSlider(Qt::Horizontal, parent);
      slider->setTickPosition(QSlider::TicksBothSides);
      slider->setTickInterval(1);
      slider->setPageStep(2);
      slider->setRange(0, 100);  // the trackbar's default range until the dialog sets its own
      return slider;
    }
    case DialogItemKind::Icon:
      return new QLabel(parent);
  }
  return new QWidget(parent);
}

}  // namespace

DialogItems CreateDialogItems(QWidget* parent, const DialogTemplate& tmpl, const DialogBaseUnits& units,
                              QPoint origin)
{
  DialogItems items;
  for (const DialogItemTemplate& item : tmpl.items) {
    QWidget* control = make_item(parent, item);
    control->setProperty(kIdProperty, item.id);
    QRect where = MapDialogRect(units, item.x, item.y, item.cx, item.cy);
    if (item.kind == DialogItemKind::Icon) where.setSize(QSize(32, 32));  // icons keep their own size
    // The stand-in font runs a little wider than the one the layout was made with: texts without an
    // edge may grow to the right rather than lose their last letters.
    const bool grows = (item.kind == DialogItemKind::StaticText && (item.style & (DS_STATICEDGE | DS_CENTER)) == 0) ||
                       (item.kind == DialogItemKind::AutoCheckBox && (item.style & DS_PUSHLIKE) == 0);
    if (grows) where.setWidth(std::max(where.width(), control->sizeHint().width()));
    control->setGeometry(where.translated(origin));
    control->setEnabled((item.style & DS_DISABLED) == 0);
    control->setFocusPolicy(item.kind == DialogItemKind::StaticText || item.kind == DialogItemKind::Icon ||
                                    item.kind == DialogItemKind::ProgressBar
                                ? Qt::NoFocus
                                : Qt::StrongFocus);
    if (item.id != IDC_STATIC) items.byId.insert(item.id, control);
    items.inOrder.append(control);
  }
  // Tab order is template order.
  QWidget* previous = nullptr;
  for (QWidget* control : items.inOrder) {
    if (control->focusPolicy() == Qt::NoFocus) continue;
    if (previous != nullptr) QWidget::setTabOrder(previous, control);
    previous = control;
  }
  return items;
}

int DialogItemId(const QWidget* control)
{
  const QVariant id = control->property(kIdProperty);
  return id.isValid() ? id.toInt() : IDC_STATIC;
}
