// How the dialog asks the user for a file, and whether a file may be replaced: through an object
// that tests can replace, so that the questions can be answered without a window manager.
#pragma once

#include <QString>

class QWidget;

class CFileDialogSeam {
 public:
  virtual ~CFileDialogSeam() = default;
  // An open-file dialog owned by owner with one filter ("AC3-Files (*.ac3)"). mustExist: the file
  // has to exist. Returns true and the full path when the user confirms, false when cancelled.
  virtual bool GetOpenFileName(QWidget* owner, const QString& filter, bool mustExist, QString* path) = 0;
  // A save-file dialog owned by owner with one filter, opened on the suggested path (its folder and
  // name). It asks itself before an existing file is taken. Returns true and the full path when
  // the user confirms, false when cancelled.
  virtual bool GetSaveFileName(QWidget* owner, const QString& filter, const QString& suggested, QString* path) = 0;
  // Asks whether the existing file at path may be replaced; true for Yes (No is the default).
  virtual bool AskReplaceFile(QWidget* owner, const QString& path) = 0;
};

// The real one: Qt's dialogs. The file dialogs have no title of their own and add no extension.
class CQtFileDialogs : public CFileDialogSeam {
 public:
  bool GetOpenFileName(QWidget* owner, const QString& filter, bool mustExist, QString* path) override;
  bool GetSaveFileName(QWidget* owner, const QString& filter, const QString& suggested, QString* path) override;
  bool AskReplaceFile(QWidget* owner, const QString& path) override;
};
