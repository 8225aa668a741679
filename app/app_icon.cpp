#include "app_icon.h"

#include <QDir>

// Outside any namespace, as Qt's resource initialiser needs.
static void init_qelpconvert_resources() { Q_INIT_RESOURCE(qelpconvert); }

void InitAppResources()
{
  static const bool done = [] {
    init_qelpconvert_resources();
    return true;
  }();
  (void)done;
}

QIcon AppIcon()
{
  InitAppResources();
  QIcon icon;
  for (int size : {32, 48, 256}) icon.addFile(QStringLiteral(":/res/icon_%1.png").arg(size), QSize(size, size));
  return icon;
}
