// SPDX-FileCopyrightText: The Varden developers
//
// SPDX-License-Identifier: GPL-2.0-or-later

// The Windows session layer with the real calls: the named mutex that keeps one agent per session,
// and message 0x0401 that ends it.

#include "single_instance.h"
#include "termination_signals.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QUuid>

#include <gtest/gtest.h>

#include <functional>

#include <windows.h>

namespace {

QCoreApplication& application()
{
    static int argc = 1;
    static char name[] = "windows_session_test";
    static char* argv[] = {name, nullptr};
    static QCoreApplication app(argc, argv);
    return app;
}

QString uniqueName()
{
    return QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper();
}

bool waitFor(const std::function<bool()>& condition, int timeoutMs)
{
    QElapsedTimer elapsed;
    elapsed.start();
    while (!condition() && elapsed.elapsed() < timeoutMs)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    return condition();
}

TEST(NamedMutex, SecondHolderIsRefusedUntilTheFirstLetsGo)
{
    const QString name = uniqueName();
    auto first = std::make_unique<SingleInstanceLock>(name);
    ASSERT_TRUE(first->tryAcquire());
    EXPECT_TRUE(first->tryAcquire()) << "a holder asking again keeps it";
    {
        SingleInstanceLock second(name);
        EXPECT_FALSE(second.tryAcquire());
    }
    first.reset();
    SingleInstanceLock third(name);
    EXPECT_TRUE(third.tryAcquire());
}

// Another program's mutex of that name, as a running agent holds it.
TEST(NamedMutex, AMutexOfAnotherHolderRefuses)
{
    const QString name = uniqueName();
    HANDLE other = CreateMutexW(nullptr, FALSE, name.toStdWString().c_str());
    ASSERT_TRUE(other);
    SingleInstanceLock lock(name);
    EXPECT_FALSE(lock.tryAcquire());
    CloseHandle(other);
    EXPECT_TRUE(lock.tryAcquire());
}

// A name taken by another kind of object cannot be a mutex; the agent runs without the guard.
TEST(NamedMutex, ANameHeldByAnotherKindOfObjectLeavesTheGuardOff)
{
    const QString name = uniqueName();
    HANDLE event = CreateEventW(nullptr, FALSE, FALSE, name.toStdWString().c_str());
    ASSERT_TRUE(event);
    SingleInstanceLock lock(name);
    EXPECT_TRUE(lock.tryAcquire());
    CloseHandle(event);
}

HWND quitWindow()
{
    const std::wstring title =
        QFileInfo(QCoreApplication::applicationFilePath()).completeBaseName().toStdWString();
    return FindWindowW(L"VardenQuit", title.c_str());
}

// Another process finds the window by its class and the program's name and posts 0x0401; a request
// that comes before listen() waits for it.
TEST(QuitMessage, PostedToTheProgramsWindowIsReceivedOnceListening)
{
    application();
    TerminationSignals termination;
    int received = 0;
    QObject::connect(&termination, &TerminationSignals::received, [&](int message) {
        EXPECT_EQ(message, 0x0401);
        ++received;
    });
    const HWND window = quitWindow();
    ASSERT_TRUE(window);
    ASSERT_TRUE(PostMessageW(window, 0x0401, 0, 0));
    QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    EXPECT_EQ(received, 0);
    termination.listen();
    EXPECT_TRUE(waitFor([&] { return received == 1; }, 2000));

    ASSERT_TRUE(PostMessageW(window, 0x0401, 0, 0));
    EXPECT_TRUE(waitFor([&] { return received == 2; }, 2000));
    PostMessageW(window, WM_USER + 2, 0, 0);
    QCoreApplication::processEvents(QEventLoop::AllEvents, 100);
    EXPECT_EQ(received, 2) << "another message is not a request to end";
}

} // namespace
