// How the dialog asks the user for a file: through an object that tests can replace, so that the
// file choice can be answered without a window manager.
#pragma once

#include <QString>

class QWidget;

class CFileDialogSeam {
 public:
  virtual ~CFileDialogSeam() = default;
  // An open-file dialog owned by owner with one filter ("AC3-Files (*.ac3)"). mustExist: the file
  // has to exist. Returns true and the full path when the user confirms, false when cancelled.
  virtual bool GetOpenFileName(QWidget* owner, const QString& filter, bool mustExist, QString* path) = 0;
};

// The real one: Qt's file dialog, no title of its own, no default extension.
class CQtFileDialogs : public CFileDialogSeam {
 public:
  bool GetOpenFileName(QWidget* owner, const QString& filter, bool mustExist, QString* path) override;
};
