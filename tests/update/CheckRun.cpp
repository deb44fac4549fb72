#include "tests/update/CheckRun.h"

#include <QDeadlineTimer>
#include <QtTest>

bool CheckRun::wait(int milliseconds)
{
    QDeadlineTimer deadline(milliseconds);
    while (!result && !deadline.hasExpired())
        QTest::qWait(10);
    // Progress reports queued before the result are delivered by now.
    QCoreApplication::processEvents();
    return result.has_value();
}
