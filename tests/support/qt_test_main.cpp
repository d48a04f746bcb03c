// Test main for everything that draws text or shows widgets: the tests need a
// Qt application object (fonts, screens). QV7M_SCALE_FACTOR, when defined,
// sets Qt's scale factor first, to run the same widgets at a device pixel
// ratio other than 1.
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
