// main() of the test programs that need widgets: one QApplication for all tests
// (offscreen, as the test environment sets), then every test.

#include <gtest/gtest.h>

#include <QApplication>

int main(int argc, char **argv)
{
    // Also when CTest lists the tests, which it does without the tests' environment.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Folvane"));
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
