// A test's main() for tests on the audio library: the library runs on Qt's event loop
// through the node's own adapter, so QTest::qWait() and qWaitFor() run it as well.
#pragma once

#include "node/AsyncQtApplication.h"

#include <QCoreApplication>
#include <QTest>

#define AUDIO_TEST_MAIN(TestObject)                                                                          \
    int main(int argc, char *argv[])                                                                         \
    {                                                                                                        \
        QCoreApplication app(argc, argv);                                                                    \
        AsyncQtApplication asyncCore;                                                                        \
        TestObject test;                                                                                     \
        return QTest::qExec(&test, argc, argv);                                                              \
    }
