// SPDX-FileCopyrightText: The Varden developers
//
// SPDX-License-Identifier: GPL-2.0-or-later

// The end of the logging worker at shutdown: a bounded wait, then the current statement's end.

#include "thread_shutdown.h"

#include <QElapsedTimer>
#include <QThread>

#include <gtest/gtest.h>

#include <atomic>

namespace {

// A worker that looks at its stop flag between statements, whose current statement may run long.
class StatementWorker : public QThread {
public:
    explicit StatementWorker(int statementMs) : m_statementMs(statementMs) {}
    std::atomic<bool> stop{false};
    std::atomic<bool> inStatement{false};

protected:
    void run() override
    {
        while (!stop) {
            inStatement = true;
            QThread::msleep(m_statementMs);
            inStatement = false;
        }
    }

private:
    const int m_statementMs;
};

TEST(ThreadShutdownTest, WaitsForTheCurrentStatementBeyondTheBoundedWait)
{
    struct Case {
        int statementMs;
        bool withinBound;
    };
    for (const Case& c : {Case{20, true}, Case{2600, false}}) {
        StatementWorker worker(c.statementMs);
        worker.start();
        while (!worker.inStatement)
            QThread::msleep(1);
        worker.stop = true;
        QElapsedTimer elapsed;
        elapsed.start();
        EXPECT_EQ(finishStoppedThread(worker), c.withinBound) << c.statementMs;
        EXPECT_TRUE(worker.isFinished()) << c.statementMs;
        EXPECT_FALSE(worker.inStatement) << c.statementMs;
        EXPECT_LT(elapsed.elapsed(), c.statementMs + 2100) << c.statementMs;
    }
}

TEST(ThreadShutdownTest, NeverStartedThreadNeedsNoWait)
{
    StatementWorker worker(10);
    EXPECT_TRUE(finishStoppedThread(worker));
}

} // namespace
