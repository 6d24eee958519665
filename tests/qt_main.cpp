// Test entry for the Qt backend: GoogleTest first, so listing the tests needs
// no display; widgets run on the offscreen platform unless one is given.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>

#include <QApplication>

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    for (int i = 1; i < argc; ++i)
        if (std::strcmp(argv[i], "--gtest_list_tests") == 0) return RUN_ALL_TESTS();
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    // Not the desktop's bus: a StatusNotifier tray there would change what the tray tests see.
    setenv("DBUS_SESSION_BUS_ADDRESS", "disabled:", 1);
    QApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
