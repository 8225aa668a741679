// Makes the widgets of a dialog template: each item becomes the control of its kind, placed in
// pixels from its dialog units, with its text, identifier and styles.
#pragma once

#include <QMap>
#include <QPoint>
#include <QWidget>

#include "dialog_template.h"

struct DialogItems {
  QMap<int, QWidget*> byId;    // controls with an identifier of their own
  QList<QWidget*> inOrder;     // every control, in template (tab) order
};

// Creates the controls as children of parent, with the client area's origin at origin.
DialogItems CreateDialogItems(QWidget* parent, const DialogTemplate& tmpl, const DialogBaseUnits& units,
                              QPoint origin);

// The identifier a control was created with (-1 for none).
int DialogItemId(const QWidget* control);
