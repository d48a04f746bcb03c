// Test main for what draws text or shows widgets. QV7M_SCALE_FACTOR, when
// defined, runs the same widgets at another device pixel ratio.
#include <QApplication>
#include <gtest/gtest.h>

int main(int argc, char** argv) {
#ifdef QV7M_SCALE_FACTOR
    qputenv("QT_SCALE_FACTOR", QV7M_SCALE_FACTOR);
#endif
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
