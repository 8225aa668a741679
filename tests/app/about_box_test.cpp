// The about box and the way to it: the context menu's entry, the template's texts and icon, OK.
#include <QApplication>
#include <QDir>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include "about_dlg.h"
#include "dialog_fixture.h"
#include "support/paths.h"

TEST(AboutBox, ShowsItsCaptionTextsAndIconInTheDialogColours)
{
  SetDialogBkColor(RGB(0, 0, 0), RGB(255, 255, 255));
  CAboutDlg about;
  EXPECT_EQ(about.windowTitle(), QString::fromUtf8("Info über QelpConvert"));
  QStringList texts;
  bool icon = false;
  for (QLabel* label : about.findChildren<QLabel*>()) {
    if (!label->pixmap().isNull()) icon = true;
    if (!label->text().isEmpty()) texts << label->text();
  }
  EXPECT_TRUE(icon);
  EXPECT_TRUE(texts.contains("QelpConvert Version 1.0"));
  EXPECT_EQ(texts.size(), 2);
  // The platform's dialog colours, not the black of the skinned main dialog.
  EXPECT_EQ(about.palette().color(QPalette::Window), QApplication::palette().color(QPalette::Window));
  EXPECT_EQ(about.palette().color(QPalette::WindowText), QApplication::palette().color(QPalette::WindowText));
  EXPECT_NE(about.palette().color(QPalette::Window), QColor(0, 0, 0));
  EXPECT_EQ(about.grab().toImage().pixelColor(2, about.height() - 3), QApplication::palette().color(QPalette::Window));
  auto* ok = about.findChild<QPushButton*>();
  ASSERT_NE(ok, nullptr);
  EXPECT_EQ(ok->text(), "OK");
  EXPECT_TRUE(ok->isDefault());
  about.show();
  // Kept for a person to look at, beside the program's screenshots.
  QDir().mkpath(QString::fromStdString(qelp_test::binary_path("artifacts/app")));
  about.grab().save(QString::fromStdString(qelp_test::binary_path("artifacts/app/about_box.png")));
  ok->click();
  EXPECT_EQ(about.result(), QDialog::Accepted);
  EXPECT_FALSE(about.isVisible());
}

TEST_F(DialogTest, TheContextMenuOffersTheAboutBox)
{
  dlg->show();
  QString menuEntry;
  QString aboutTitle;
  // The menu opens modally at the right click; the entry is taken, then the about box is closed.
  QTimer::singleShot(50, [&] {
    auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
    if (menu == nullptr) return;
    menuEntry = menu->actions().value(0)->text();
    menu->setActiveAction(menu->actions().value(0));
    QTest::keyClick(menu, Qt::Key_Return);
    QTimer::singleShot(50, [&] {
      auto* about = qobject_cast<CAboutDlg*>(QApplication::activeModalWidget());
      if (about == nullptr) return;
      aboutTitle = about->windowTitle();
      about->accept();
    });
  });
  QContextMenuEvent event(QContextMenuEvent::Mouse, QPoint(200, 200), dlg->mapToGlobal(QPoint(200, 200)));
  QCoreApplication::sendEvent(dlg.get(), &event);
  EXPECT_EQ(menuEntry, QString::fromUtf8("Inf&o über QelpConvert..."));
  EXPECT_EQ(aboutTitle, QString::fromUtf8("Info über QelpConvert"));
  EXPECT_TRUE(dlg->isVisible());
}
