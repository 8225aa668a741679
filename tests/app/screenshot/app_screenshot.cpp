// Runs the real program in an X window (under Xvfb) in front of a magenta backdrop of our own,
// waits for its window, saves screenshots, and checks the two things only a real window shows:
// the window is cut to its ellipse (the backdrop shows just outside it), and the status line
// flashes (its text is white in one screenshot and black in another taken a second later).
//
// Then it starts the program again as "QelpConvert samples/demo.ac3" and checks that the demo is
// the AC-3 choice and the option controls are enabled.
//
// Usage: test_app_screenshot <path of QelpConvert> <folder for the PNG files> <source folder>
#include <QDir>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QPixmap>
#include <QProcess>
#include <QRasterWindow>
#include <QScreen>
#include <QThread>
#include <cstdio>

namespace {

const QRgb kBackdrop = qRgb(255, 0, 255);

class Backdrop : public QRasterWindow {
 protected:
  void paintEvent(QPaintEvent*) override
  {
    QPainter p(this);
    p.fillRect(QRect(QPoint(0, 0), size()), QColor::fromRgb(kBackdrop));
  }
};

int failures = 0;
void check(bool ok, const char* what)
{
  std::printf("%s: %s\n", ok ? "ok" : "FAILED", what);
  if (!ok) ++failures;
}

QImage grab_screen()
{
  QCoreApplication::processEvents();
  return QGuiApplication::primaryScreen()->grabWindow(0).toImage().convertToFormat(QImage::Format_RGB32);
}

// The bounding box of everything that is not the backdrop.
QRect foreign_box(const QImage& image)
{
  int left = image.width(), top = image.height(), right = -1, bottom = -1;
  for (int y = 0; y < image.height(); ++y) {
    const auto* line = reinterpret_cast<const QRgb*>(image.constScanLine(y));
    for (int x = 0; x < image.width(); ++x) {
      if ((line[x] & 0xFFFFFF) == (kBackdrop & 0xFFFFFF)) continue;
      left = std::min(left, x);
      right = std::max(right, x);
      top = std::min(top, y);
      bottom = std::max(bottom, y);
    }
  }
  return right < 0 ? QRect() : QRect(QPoint(left, top), QPoint(right, bottom));
}

void wait_ms(int ms)
{
  QElapsedTimer t;
  t.start();
  while (t.elapsed() < ms) {
    QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    QThread::msleep(5);
  }
}

struct TextColours {
  int white = 0;
  int black = 0;
};

// Counts text pixels in the status line: near white and near black (the skin holds neither).
TextColours count_text(const QImage& image, const QRect& area)
{
  TextColours c;
  for (int y = area.top(); y <= area.bottom(); ++y) {
    for (int x = area.left(); x <= area.right(); ++x) {
      const QRgb p = image.pixel(x, y);
      if (qRed(p) > 200 && qGreen(p) > 200 && qBlue(p) > 200) ++c.white;
      if (qRed(p) < 30 && qGreen(p) < 30 && qBlue(p) < 30) ++c.black;
    }
  }
  return c;
}

// Waits for the program's window: something not the backdrop, of a size that does not change any
// more. Returns its visible box (empty when none appeared).
QRect wait_for_window()
{
  QRect box;
  QElapsedTimer waited;
  waited.start();
  while (waited.elapsed() < 20000) {
    wait_ms(200);
    const QRect now = foreign_box(grab_screen());
    if (now.width() > 200 && now == box) return box;
    box = now;
  }
  return QRect();
}

// A rectangle of the dialog template (dialog units of the 301 x 217 client area) on the screen,
// for a window whose ellipse has the visible box `box`.
QRect template_rect(const QRect& box, int x, int y, int cx, int cy)
{
  const QPoint window = box.topLeft() - QPoint(10, 23);
  const int w = box.right() + 1 - window.x();
  const int h = box.bottom() + 2 - window.y();
  const QPoint client = window + QPoint(3, 22);
  return QRect(client.x() + x * w / 301, client.y() + y * h / 217, cx * w / 301, cy * h / 217);
}

}  // namespace

int main(int argc, char** argv)
{
  QGuiApplication app(argc, argv);
  if (argc < 4) {
    std::fprintf(stderr, "usage: %s QelpConvert artifact-folder source-folder\n", argv[0]);
    return 2;
  }
  const QString program = QString::fromLocal8Bit(argv[1]);
  const QString folder = QString::fromLocal8Bit(argv[2]);
  QDir().mkpath(folder);

  Backdrop backdrop;
  backdrop.setGeometry(QGuiApplication::primaryScreen()->geometry());
  backdrop.show();
  wait_ms(300);

  QProcess qelp;
  qelp.setProcessChannelMode(QProcess::ForwardedChannels);
  qelp.start(program, {});
  if (!qelp.waitForStarted(10000)) {
    std::printf("FAILED: %s does not start\n", argv[1]);
    return 1;
  }

  QRect box = wait_for_window();
  check(box.width() > 200 && box.height() > 150, "the program's window appears");
  wait_ms(300);
  const QImage first = grab_screen();
  first.save(folder + QStringLiteral("/qelpconvert.png"));
  box = foreign_box(first);
  std::printf("window's visible box: %d,%d %dx%d\n", box.x(), box.y(), box.width(), box.height());

  // The ellipse's bounding box starts 10 pixels right of and 23 below the window's corner; its
  // right edge is the client width w and its bottom h - 1 (client height), in window coordinates.
  const QPoint window = box.topLeft() - QPoint(10, 23);
  const int w = box.right() + 1 - window.x();
  const int h = box.bottom() + 2 - window.y();
  const QPoint centre = box.center();
  // Just outside the ellipse: the corners of its box, and points a few pixels past its left and
  // top ends, belong to the backdrop; just inside them, to the dialog.
  const QRgb backdrop_pixel = kBackdrop & 0xFFFFFF;
  auto is_backdrop = [&](int x, int y) { return (first.pixel(x, y) & 0xFFFFFF) == backdrop_pixel; };
  check(is_backdrop(box.left() + 2, box.top() + 2) && is_backdrop(box.right() - 2, box.top() + 2) &&
            is_backdrop(box.left() + 2, box.bottom() - 2) && is_backdrop(box.right() - 2, box.bottom() - 2),
        "the corners of the ellipse's box show what lies behind the window");
  check(is_backdrop(box.left() - 3, centre.y()) && is_backdrop(centre.x(), box.top() - 3),
        "the window's own rectangle outside the ellipse shows what lies behind it");
  check(!is_backdrop(box.left() + 4, centre.y()) && !is_backdrop(centre.x(), box.top() + 4) &&
            !is_backdrop(centre.x(), centre.y()),
        "the inside of the ellipse is the dialog's");
  // The ellipse is round where it should be: 45 degrees out, a point 3 pixels outside is not the
  // dialog's and one 3 pixels inside is.
  const double a = box.width() / 2.0, b = box.height() / 2.0, c = std::sqrt(0.5);
  const QPointF cf = QRectF(box).center();
  check(is_backdrop(int(cf.x() - (a + 3) * c), int(cf.y() - (b + 3) * c)) &&
            !is_backdrop(int(cf.x() - (a - 3) * c), int(cf.y() - (b - 3) * c)),
        "the edge follows an ellipse");

  // The status line: template rectangle 49, 132, 203 x 12 of 301 x 217 dialog units, inside its edge.
  const QPoint client = window + QPoint(3, 22);
  const int cw = w, ch = h;
  QRect status(client.x() + 49 * cw / 301 + 3, client.y() + 132 * ch / 217 + 3, 203 * cw / 301 - 6,
               12 * ch / 217 - 6);
  bool flashed = false;
  for (int attempt = 0; attempt < 4 && !flashed; ++attempt) {
    const QImage a_shot = grab_screen();
    wait_ms(1000);
    const QImage b_shot = grab_screen();
    const TextColours ca = count_text(a_shot, status);
    const TextColours cb = count_text(b_shot, status);
    std::printf("status text pixels: white %d / black %d, a second later white %d / black %d\n", ca.white,
                ca.black, cb.white, cb.black);
    const bool a_white = ca.white > 20 && ca.black < 5, a_black = ca.black > 20 && ca.white < 5;
    const bool b_white = cb.white > 20 && cb.black < 5, b_black = cb.black > 20 && cb.white < 5;
    if ((a_white && b_black) || (a_black && b_white)) {
      flashed = true;
      b_shot.save(folder + QStringLiteral("/qelpconvert_flash.png"));
    }
    wait_ms(250);  // a pair taken right at a flip sees one state twice: try again off that edge
  }
  check(flashed, "the status line flashes between white and black text");

  // Without a file: no path in the AC-3 box, the normalize box's text grey (disabled).
  const QRect ac3Box = template_rect(box, 88, 28, 128, 12).adjusted(2, 2, -2, -2);
  const QRect normalizeText = template_rect(box, 37 + 12, 63, 221 - 12, 10);
  const int pathPixelsBefore = count_text(first, ac3Box).white;
  const int normalizePixelsBefore = count_text(first, normalizeText).white;
  qelp.terminate();
  if (!qelp.waitForFinished(5000)) qelp.kill();

  // "QelpConvert samples/demo.ac3" in the source folder: the demo is the AC-3 choice (its path in
  // the box) and the option controls are enabled (the normalize box's text white).
  wait_ms(500);
  QProcess withFile;
  withFile.setProcessChannelMode(QProcess::ForwardedChannels);
  withFile.setWorkingDirectory(QString::fromLocal8Bit(argv[3]));
  withFile.start(program, {QStringLiteral("samples/demo.ac3")});
  check(withFile.waitForStarted(10000), "the program starts with a file");
  const QRect boxWithFile = wait_for_window();
  check(boxWithFile == box, "the window appears where it was");
  wait_ms(300);
  const QImage demo = grab_screen();
  demo.save(folder + QStringLiteral("/qelpconvert_with_demo.png"));
  const int pathPixels = count_text(demo, ac3Box).white;
  const int normalizePixels = count_text(demo, normalizeText).white;
  std::printf("AC-3 path text pixels: %d without a file, %d with the demo; normalize text: %d, %d\n",
              pathPixelsBefore, pathPixels, normalizePixelsBefore, normalizePixels);
  check(pathPixelsBefore < 5 && pathPixels > 40, "the demo given on the command line is the AC-3 choice");
  check(normalizePixelsBefore < 5 && normalizePixels > 40, "the option controls are enabled with the file");
  withFile.terminate();
  if (!withFile.waitForFinished(5000)) withFile.kill();
  std::printf("screenshots in %s\n", qPrintable(folder));
  return failures == 0 ? 0 : 1;
}
