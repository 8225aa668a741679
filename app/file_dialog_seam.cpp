#include "file_dialog_seam.h"

#include <QFileDialog>

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
