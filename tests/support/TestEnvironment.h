// What every test executable runs in: a private session bus of its own and a temporary
// configuration home, both made before the application object exists and removed at exit.
#pragma once

#include "PrivateBus.h"

#include <QString>

class TestEnvironment
{
public:
    enum class Display { Offscreen, WindowManager };
    explicit TestEnvironment(Display display);
    ~TestEnvironment();

    TestEnvironment(const TestEnvironment &) = delete;
    TestEnvironment &operator=(const TestEnvironment &) = delete;

    // The temporary configuration home (XDG_CONFIG_HOME).
    static QString configHome();

private:
    PrivateBus m_bus;
};

// A test's main(): the environment, then the application, then the test object.
#define DIALBOARD_TEST_MAIN(TestObject, display)                                                             \
    int main(int argc, char *argv[])                                                                         \
    {                                                                                                        \
        TestEnvironment environment(TestEnvironment::Display::display);                                      \
        QApplication app(argc, argv);                                                                        \
        QApplication::setOrganizationName(QStringLiteral("Dialboard"));                                      \
        QApplication::setApplicationName(QStringLiteral("Dialboard"));                                       \
        TestObject test;                                                                                     \
        return QTest::qExec(&test, argc, argv);                                                              \
    }
