#include "file_dialog_seam.h"

#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>

bool CQtFileDialogs::GetOpenFileName(QWidget* owner, const QString& filter, bool mustExist, QString* path)
{
  QFileDialog dialog(owner);
  dialog.setAcceptMode(QFileDialog::AcceptOpen);
  dialog.setFileMode(mustExist ? QFileDialog::ExistingFile : QFileDialog::AnyFile);
  dialog.setNameFilter(filter);
  // A path longer than the engine's buffers could not be converted anyway; Windows' buffer is 260.
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return false;
  *path = QDir::toNativeSeparators(dialog.selectedFiles().first());
  return true;
}

bool CQtFileDialogs::GetSaveFileName(QWidget* owner, const QString& filter, const QString& suggested, QString* path)
{
  QFileDialog dialog(owner);
  dialog.setAcceptMode(QFileDialog::AcceptSave);  // titled for saving, a Save button, asks before replacing
  dialog.setFileMode(QFileDialog::AnyFile);
  dialog.setNameFilter(filter);
  if (!suggested.isEmpty()) {
    const QFileInfo info(suggested);
    dialog.setDirectory(info.absolutePath());
    dialog.selectFile(info.fileName());
  }
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return false;
  *path = QDir::toNativeSeparators(dialog.selectedFiles().first());
  return true;
}

bool CQtFileDialogs::AskReplaceFile(QWidget* owner, const QString& path)
{
  const QString text = QObject::tr("%1 already exists.\nDo you want to replace it?").arg(QFileInfo(path).fileName());
  return QMessageBox::question(owner, QObject::tr("Replace file"), text, QMessageBox::Yes | QMessageBox::No,
                               QMessageBox::No) == QMessageBox::Yes;
}
