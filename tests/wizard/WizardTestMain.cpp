// The wizard's tests need a QApplication; they run on the offscreen platform
// unless told otherwise, also when CTest lists them.

#include <gmock/gmock.h>
#include <stdlib.h>

#include <QApplication>

int main(int argc, char** argv) {
    ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QApplication app(argc, argv);
    ::testing::InitGoogleMock(&argc, argv);
    return RUN_ALL_TESTS();
}
