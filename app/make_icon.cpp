// SPDX-License-Identifier: GPL-3.0-or-later
// Writes the window icon as a PNG for the desktop entry (run at build time).
#include "app/pictures.h"

#include <QGuiApplication>
#include <cstdio>

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: qv7m-make-icon OUT.png\n");
        return 2;
    }
    QGuiApplication app(argc, argv);
    if (!qv7m::iconImage().save(QString::fromLocal8Bit(argv[1]), "PNG")) {
        std::fprintf(stderr, "qv7m-make-icon: cannot write %s\n", argv[1]);
        return 1;
    }
    return 0;
}
