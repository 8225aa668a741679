// Shows the shaded button and progress bar in each of their states in a real X window (run under
// Xvfb), keeps a screenshot of each as a PNG for a person to look at, and checks that what reached
// the screen is exactly what each control composed off screen.
//
// Usage: test_controls_screenshot <folder for the PNG files>
#include <QApplication>
#include <QDir>
#include <QLabel>
#include <QScreen>
#include <QTest>
#include <QWidget>
#include <cstdio>
#include <vector>

#include "controls/shaded_button.h"
#include "controls/shaded_progress_ctrl.h"

namespace {

struct Shot {
    QWidget* control;
    QString name;
};

}  // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    const QString folder = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("artifacts");
    if (!QDir().mkpath(folder)) {
        std::fprintf(stderr, "cannot create %s\n", qPrintable(folder));
        return 1;
    }

    QWidget window;
    window.setWindowTitle("Shaded controls");
    window.setFixedSize(560, 330);
    std::vector<Shot> shots;
    int row = 0;
    auto button = [&](const QString& name, const QString& text) {
        auto* b = new CShadedButton(text, &window);
        b->setGeometry(150, 10 + 32 * row, 110, 24);
        auto* label = new QLabel(name, &window);
        label->setGeometry(10, 10 + 32 * row, 130, 24);
        ++row;
        shots.push_back({b, name});
        return b;
    };
    button("button_released", "Start convert");
    button("button_pressed", "Cancel convert")->setDown(true);
    button("button_disabled", "Exit")->setEnabled(false);
    CShadedButton* focused = button("button_focused", "...");
    CShadedButton* focusedPressed = button("button_focused_pressed", "...");
    focusedPressed->setDown(true);
    button("button_flat", "Flat")->ModifyStyle(0, BS_FLAT);
    CShadedButton* flatPressed = button("button_flat_pressed", "Flat");
    flatPressed->ModifyStyle(0, BS_FLAT);
    flatPressed->setDown(true);
    CShadedButton* flatDisabled = button("button_flat_disabled", "Flat");
    flatDisabled->ModifyStyle(0, BS_FLAT);
    flatDisabled->setEnabled(false);

    auto progress = [&](const QString& name, QRect geometry, bool vertical, int pos, bool idle) {
        auto* p = new CShadedProgressCtrl(&window);
        if (vertical) {
            p->setOrientation(Qt::Vertical);
        }
        p->setGeometry(geometry);
        p->SetPos(pos);
        p->SetIdleAnimation(idle ? TRUE : FALSE);
        shots.push_back({p, name});
        return p;
    };
    progress("progress_empty", {280, 10, 200, 16}, false, 0, false);
    progress("progress_half", {280, 42, 200, 16}, false, 50, false);
    progress("progress_full", {280, 74, 200, 16}, false, 100, false);
    progress("progress_idle", {280, 106, 200, 16}, false, 30, true);
    progress("progress_vertical_half", {500, 10, 16, 200}, true, 50, false);
    progress("progress_vertical_short", {530, 10, 16, 200}, true, 1, false);

    window.show();
    if (!QTest::qWaitForWindowExposed(&window)) {
        std::fprintf(stderr, "the window was never shown\n");
        return 1;
    }
    window.activateWindow();
    if (!QTest::qWaitForWindowActive(&window)) {
        std::fprintf(stderr, "the window did not become active\n");
    }
    QTest::qWait(100);

    int failures = 0;
    for (const Shot& shot : shots) {
        if (shot.control == focused || shot.control == focusedPressed) {
            shot.control->setFocus();
            QTest::qWait(50);
            if (!shot.control->hasFocus()) {
                std::fprintf(stderr, "%s: the button did not get the focus\n", qPrintable(shot.name));
                ++failures;
            }
        }
        QApplication::processEvents();
        // Nothing runs between the two pictures, so the animation cannot move in between.
        const QRect g = shot.control->geometry();
        const QImage screen = window.screen()->grabWindow(window.winId(), g.x(), g.y(), g.width(), g.height())
                                  .toImage()
                                  .convertToFormat(QImage::Format_RGB32);
        const QImage composed = shot.control->grab().toImage().convertToFormat(QImage::Format_RGB32);
        const QString path = folder + "/" + shot.name + ".png";
        if (!screen.save(path)) {
            std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
            ++failures;
        }
        if (screen != composed) {
            std::fprintf(stderr, "%s: the screen differs from the control's own picture\n", qPrintable(shot.name));
            composed.save(folder + "/" + shot.name + "_expected.png");
            ++failures;
        }
    }
    const QString all = folder + "/controls_all_states.png";
    window.screen()->grabWindow(window.winId()).save(all);
    std::printf("screenshots in %s\n", qPrintable(folder));
    return failures == 0 ? 0 : 1;
}
