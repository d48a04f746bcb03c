// SPDX-License-Identifier: GPL-3.0-or-later
// Test main for what draws text or shows widgets, on Qt's offscreen platform
// unless the environment names another, with the program's own settings store
// in a folder of the run's own (the user's stays untouched).
#include <gtest/gtest.h>
#include <QApplication>
#include <QTemporaryDir>

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QTemporaryDir config;
    qputenv("XDG_CONFIG_HOME", config.path().toLocal8Bit());
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
