// SPDX-License-Identifier: GPL-3.0-or-later
// Saves a PNG of the X screen, or of the rectangle X Y W H of it (used by the
// run script on a virtual screen).
#include <QGuiApplication>
#include <QPixmap>
#include <QScreen>
#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv) {
    if (argc != 2 && argc != 6) {
        std::fprintf(stderr, "usage: qv7m-screenshot OUT.png [X Y W H]\n");
        return 2;
    }
    QGuiApplication app(argc, argv);
    QScreen* screen = QGuiApplication::primaryScreen();
    if (!screen) {
        std::fprintf(stderr, "qv7m-screenshot: no screen\n");
        return 1;
    }
    QPixmap shot = argc == 6 ? screen->grabWindow(0, std::atoi(argv[2]), std::atoi(argv[3]), std::atoi(argv[4]),
                                                  std::atoi(argv[5]))
                             : screen->grabWindow(0);
    if (!shot.save(QString::fromLocal8Bit(argv[1]), "PNG")) {
        std::fprintf(stderr, "qv7m-screenshot: cannot write %s\n", argv[1]);
        return 1;
    }
    return 0;
}
