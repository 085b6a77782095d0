// SPDX-FileCopyrightText: The Varden developers
//
// SPDX-License-Identifier: GPL-2.0-or-later

// VrdBrowser.exe under Wine on a virtual display (Xvfb), with Wine's X11 driver in a prefix of its
// own: Client Refresh discovers two Linux agents through the Linux mosquitto, and a selected agent's
// readings are shown, the hot one's processor temperature in red. The window is saved as
// screenshots/station-under-wine.png in the Windows build tree, for a person to look at.

#include "agent_process.h"
#include "qt_test_loop.h"
#include "test_broker.h"
#include "wine_program.h"

#include <QDir>
#include <QFile>
#include <QImage>
#include <QProcess>
#include <QScopeGuard>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QThread>

#include <gtest/gtest.h>

namespace {

const QString kChannel = QStringLiteral("WINE8");

QByteArray runTool(const QString& program, const QStringList& arguments, const QProcessEnvironment& env)
{
    QProcess tool;
    tool.setProcessEnvironment(env);
    tool.start(program, arguments);
    tool.waitForFinished(30000);
    return tool.readAllStandardOutput();
}

int registryRows(const QString& path)
{
    static int serial = 0;
    const QString name = QStringLiteral("registry_%1").arg(++serial);
    int rows = 0;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", name);
        db.setDatabaseName(path);
        db.setConnectOptions("QSQLITE_OPEN_READONLY;QSQLITE_BUSY_TIMEOUT=2000");
        if (QFile::exists(path) && db.open()) {
            QSqlQuery query("SELECT COUNT(*) FROM CLIENTINFO_TBL;", db);
            rows = query.next() ? query.value(0).toInt() : 0;
        }
        db.close();
    }
    QSqlDatabase::removeDatabase(name);
    return rows;
}

// Pixels of the out-of-limits red in the window's reading panel (right of the client list).
int redReadingPixels(const QImage& window)
{
    int red = 0;
    for (int y = window.height() / 3; y < window.height() * 2 / 3; ++y)
        for (int x = window.width() * 2 / 5; x < window.width(); ++x) {
            const QColor c = window.pixelColor(x, y);
            red += c.red() - c.green() > 80 && c.red() - c.blue() > 80; // anti-aliased red text too
        }
    return red;
}

// A display of its own: Xvfb picks a free number and prints it. Without -noreset the server
// resets each time its last client leaves (every xdotool poll), and a Wine program that connects
// during a reset is refused and runs on without any window.
class VirtualDisplay {
public:
    VirtualDisplay()
    {
        m_server.start("Xvfb",
                       {"-displayfd", "1", "-screen", "0", "1600x1500x24", "-nolisten", "tcp", "-noreset"});
        if (m_server.waitForStarted(5000) && m_server.waitForReadyRead(20000))
            m_name = ":" + QString::fromLatin1(m_server.readLine().trimmed());
    }
    ~VirtualDisplay()
    {
        m_server.terminate();
        m_server.waitForFinished(5000);
    }
    QString name() const { return m_name; }

private:
    QProcess m_server;
    QString m_name;
};

TEST(WindowsStation, DiscoversLinuxAgentsAndShowsTheirReadings)
{
    vrdtest::ensureCoreApplication();
    vrdtest::TestBroker broker;
    ASSERT_TRUE(broker.start()) << broker.output().toStdString();
    AgentProcess hot("winbond-w83627hf-290-hot.json", broker.port(), kChannel);
    AgentProcess healthy("fintek-f81866.json", broker.port(), kChannel);
    ASSERT_TRUE(hot.start() && healthy.start());

    VirtualDisplay display;
    ASSERT_FALSE(display.name().isEmpty()) << "Xvfb did not start";
    const QString prefix = qEnvironmentVariable("VRD_WINE_DISPLAY_PREFIX");
    QProcessEnvironment env = wine::environment(prefix);
    env.insert("DISPLAY", display.name());
    if (!QFileInfo::exists(prefix + "/system.reg")) {
        ASSERT_TRUE(wine::run("wineboot", {"--init"}, 180000, nullptr, nullptr, env));
    }

    // The station keeps VRD.INI and its registry beside its program when not installed.
    QTemporaryDir station;
    ASSERT_TRUE(QFile::copy(wine::windowsBin() + "/VrdBrowser.exe", station.filePath("VrdBrowser.exe")));
    {
        QFile ini(station.filePath("VRD.INI"));
        ASSERT_TRUE(ini.open(QIODevice::WriteOnly));
        ini.write(QStringLiteral("[CLOUD]\r\nHOST=127.0.0.1\r\nPORT=%1\r\nBRANCH_TOKEN=%2\r\n")
                      .arg(broker.port())
                      .arg(kChannel)
                      .toUtf8());
    }
    QProcess browser;
    browser.setProcessChannelMode(QProcess::MergedChannels);
    wine::start(browser, wine::windowsPath(station.filePath("VrdBrowser.exe")), {}, env);
    ASSERT_TRUE(browser.waitForStarted(10000));
    // Ends the station and the prefix's own Wine processes (its desktop, its services).
    const auto cleanup = qScopeGuard([&] {
        QProcess server;
        server.setProcessEnvironment(env);
        server.start(qEnvironmentVariable("VRD_WINE64").replace("wine64", "wineserver"), {"-k"});
        server.waitForFinished(10000);
        browser.waitForFinished(10000);
    });
    QByteArray window;
    ASSERT_TRUE(vrdtest::waitUntil(
        [&] {
            window = runTool("xdotool", {"search", "--name", "Varden Browser"}, env).split('\n').value(0);
            return !window.isEmpty();
        },
        120000))
        << browser.readAll().constData();
    QThread::msleep(2000); // laid out and painted
    const QByteArray geometry = runTool("xdotool", {"getwindowgeometry", "--shell", window}, env);
    int height = 0;
    for (const QByteArray& line : geometry.split('\n'))
        if (line.startsWith("HEIGHT="))
            height = line.mid(7).toInt();
    ASSERT_GT(height, 300) << geometry.constData();

    // Client Refresh (bottom left, below the list): every agent answers the inventory request.
    const auto click = [&](int x, int y) {
        runTool("xdotool", {"mousemove", "--window", window, QString::number(x), QString::number(y), "click", "1"},
                env);
    };
    click(63, height - 233);
    ASSERT_TRUE(vrdtest::waitUntil([&] { return registryRows(station.filePath("Client.sqlite")) == 2; }, 20000))
        << "Client Refresh discovered " << registryRows(station.filePath("Client.sqlite")) << " agents";

    // Each listed agent in turn: its readings come on the next poll; only the hot one shows red.
    const QString shots = qEnvironmentVariable("VRD_SCREENSHOT_DIR");
    QDir().mkpath(shots);
    int redRows = 0;
    for (int row = 0; row < 2; ++row) {
        click(76, 216 + row * 48);
        QThread::msleep(6000);
        const QString shot = QStringLiteral("%1/station-under-wine-%2.png").arg(shots).arg(row + 1);
        runTool("import", {"-window", window, shot}, env);
        const QImage image(shot);
        ASSERT_FALSE(image.isNull()) << shot.toStdString();
        redRows += redReadingPixels(image) > 10;
    }
    EXPECT_EQ(redRows, 1) << "the hot agent's processor temperature, red, and no other";
}

} // namespace
