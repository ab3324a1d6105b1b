// A fixture step: a helper that checks as it goes (QVERIFY, QCOMPARE) ends
// the test function that called it when one of its checks failed, as a
// failed check in the test function itself would.
//
//   FIXTURE_STEP(open());
#pragma once

#include <QTest>

#define FIXTURE_STEP(...)                                                                                              \
    do {                                                                                                               \
        __VA_ARGS__;                                                                                                   \
        if (QTest::currentTestFailed())                                                                                \
            return;                                                                                                    \
    } while (false)
