// SPDX-License-Identifier: GPL-3.0-or-later
// Writes the program's icon as a PNG of the given size, for the desktop
// entry's icon theme (run at build time).
#include "app/pictures.h"

#include <QGuiApplication>
#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv) {
    const int size = argc == 3 ? std::atoi(argv[1]) : 0;
    if (size < 16 || size > 1024) {
        std::fprintf(stderr, "usage: qv7m-make-icon SIZE OUT.png (SIZE 16 to 1024)\n");
        return 2;
    }
    QGuiApplication app(argc, argv);
    if (!qv7m::iconImage(size).save(QString::fromLocal8Bit(argv[2]), "PNG")) {
        std::fprintf(stderr, "qv7m-make-icon: cannot write %s\n", argv[2]);
        return 1;
    }
    return 0;
}
