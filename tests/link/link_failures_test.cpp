// SPDX-FileCopyrightText: The Varden developers
//
// SPDX-License-Identifier: GPL-2.0-or-later

// A link failure is told once per kind, whatever each attempt's detail, and again after a
// connection made the process forget.

#include "link_failures.h"

#include <QCoreApplication>
#include <QTemporaryFile>

#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdio>

namespace {

// Standard error while `tell` runs, read back from a temporary file.
template <typename Tell>
QString standardErrorOf(Tell tell)
{
    QTemporaryFile capture;
    if (!capture.open())
        return QStringLiteral("(no temporary file)");
    std::fflush(stderr);
    const int saved = dup(STDERR_FILENO);
    dup2(capture.handle(), STDERR_FILENO);
    tell();
    std::fflush(stderr);
    dup2(saved, STDERR_FILENO);
    close(saved);
    capture.seek(0);
    return QString::fromUtf8(capture.readAll());
}

TEST(LinkFailures, EachKindIsToldOnceWithItsFirstDetail)
{
    QCoreApplication::setApplicationName(QStringLiteral("VrdClient"));
    forgetLinkFailures();
    const QString kind = QStringLiteral("broker 127.0.0.1:8883: TLS with the broker failed");
    const QString told = standardErrorOf([&] {
        tellLinkFailure(kind, QStringLiteral("tlsv13 alert certificate required"));
        tellLinkFailure(kind); // the same refusal, the broker's reset first
        tellLinkFailure(kind, QStringLiteral("unexpected eof while reading"));
        tellLinkFailure(QStringLiteral("broker 127.0.0.1:1883: refused the login (not authorised)"));
        tellLinkFailure(QStringLiteral("broker 127.0.0.1:1883: refused the login (not authorised)"));
    });
    EXPECT_EQ(told, QStringLiteral("VrdClient: broker 127.0.0.1:8883: TLS with the broker failed: "
                                   "tlsv13 alert certificate required\n"
                                   "VrdClient: broker 127.0.0.1:1883: refused the login (not authorised)\n"));
}

TEST(LinkFailures, AConnectionMakesTheSameKindToldAgain)
{
    QCoreApplication::setApplicationName(QStringLiteral("VrdBrowser"));
    forgetLinkFailures();
    const QString kind = QStringLiteral("broker 192.0.2.1:8883: broker certificate not trusted");
    const QString told = standardErrorOf([&] {
        tellLinkFailure(kind, QStringLiteral("self-signed certificate"));
        forgetLinkFailures();
        tellLinkFailure(kind, QStringLiteral("certificate has expired"));
    });
    EXPECT_EQ(told, QStringLiteral("VrdBrowser: %1: self-signed certificate\n"
                                   "VrdBrowser: %1: certificate has expired\n").arg(kind));
}

} // namespace
