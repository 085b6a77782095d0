// SPDX-FileCopyrightText: The Varden developers
//
// SPDX-License-Identifier: GPL-2.0-or-later

// Start-up and shutdown of the window: rails the board lacks, the start result of the library,
// the tray and window slots.

#include "monitor_fixture.h"
#include "history_view.h"

#include <QElapsedTimer>
#include <QGroupBox>
#include <QLabel>
#include <QListWidget>
#include <QStackedWidget>
#include <QStandardItemModel>
#include <QTabWidget>
#include <QTableView>
#include <qwt_plot_textlabel.h>

using namespace monitortest;

namespace {

using S = SensorSnapshot;

void runEventLoopFor(int ms)
{
    QElapsedTimer elapsed;
    elapsed.start();
    while (elapsed.elapsed() < ms)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
}

// Every limit at its spin box's minimum, so pushing the settings moves no spin box.
const QByteArray kQuietSettings = "[General]\r\nCB5V=1\r\nCB12V=1\r\nCBN5V=1\r\nCBN12V=1\r\n"
                                  "Vcore_Hi=800\r\nVcore_Lo=500\r\nVio_Hi=1000\r\nVio_Lo=500\r\n"
                                  "+5V_Hi=4000\r\n+5V_Lo=4000\r\n+12V_Hi=10000\r\n+12V_Lo=10000\r\n"
                                  "-5V_Hi=4000\r\n-5V_Lo=4000\r\n-12V_Hi=10000\r\n-12V_Lo=10000\r\n"
                                  "CPUTemp_Hi=0\r\nSYSTemp_Hi=0\r\nFAN1_Lo=500\r\nFAN2_Lo=500\r\n";

struct Rail {
    Reading reading;
    uint8_t S::*enabled;
    const char* box;
    const char* caption;
    const char* value;
};

const Rail kRails[] = {
    {P5V, &S::CB5V, "gbP5V", "labP5VHdr", "labP5V"},
    {P12V, &S::CB12V, "gbP12V", "labP12VHdr", "labP12V"},
    {N5V, &S::CBN5V, "gbN5V", "labN5VHdr", "labN5V"},
    {N12V, &S::CBN12V, "gbN12V", "labN12VHdr", "labN12V"},
};

TEST_F(MonitorTest, RailsBelow100mVAreSwitchedOffAtStart)
{
    struct Case {
        std::array<int32_t, 4> rails; // +5 V, +12 V, -5 V, -12 V
        std::array<bool, 4> kept;
    };
    const Case cases[] = {
        {{100, 12000, 5000, 12000}, {true, true, true, true}},
        {{99, 12000, 0, -5}, {false, true, false, false}},
        {{0, 0, 0, 0}, {false, false, false, false}},
    };
    for (const Case& c : cases) {
        writeSettings(kQuietSettings);
        for (int i = 0; i < 4; ++i)
            ScriptedBoard::values[kRails[i].reading] = c.rails[i];
        auto window = makeWindow();
        EXPECT_FALSE(window->agent().settingsChanged());
        for (int i = 0; i < 4; ++i) {
            const Rail& rail = kRails[i];
            SCOPED_TRACE(std::string(rail.box) + " at " + std::to_string(c.rails[i]));
            auto* box = child<QGroupBox>(*window, rail.box);
            EXPECT_EQ(window->agent().snapshot().*rail.enabled, c.kept[i] ? 1 : 0);
            EXPECT_EQ(box->isChecked(), c.kept[i]);
            EXPECT_EQ(box->isEnabled(), c.kept[i]);
            EXPECT_EQ(box->isHidden(), !c.kept[i]);
            EXPECT_EQ(child<QLabel>(*window, rail.caption)->isHidden(), !c.kept[i]);
            EXPECT_EQ(child<QLabel>(*window, rail.value)->isHidden(), !c.kept[i]);
        }
        window.reset();
        // The switched-off rails reach the file with the shutdown's save.
        EXPECT_EQ(readSettings().contains("CB5V=0\r\n"), !c.kept[0]);
    }
}

TEST_F(MonitorTest, StatusBits8To15DecideTheStart)
{
    struct Case {
        int32_t status;
        bool started;
    };
    const Case cases[] = {{16, true}, {4, true}, {0x10010, true}, {256, false}, {512, false}, {1024, false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.status);
        ScriptedBoard::reset();
        ScriptedBoard::status = c.status;
        auto window = makeWindow();
        EXPECT_EQ(ScriptedBoard::initialCalls, 1);
        EXPECT_EQ(window->quitRequested(), !c.started);
        EXPECT_EQ(ScriptedBoard::readCalls, c.started ? 10 : 0);
        EXPECT_EQ(ScriptedBoard::releaseCalls, c.started ? 0 : 1);
        // The Misc tab goes only on a good start; a failed one skips the remaining steps.
        EXPECT_EQ(child<QTabWidget>(*window, "twSetting")->count(), c.started ? 4 : 5);
        window.reset();
        EXPECT_EQ(ScriptedBoard::releaseCalls, 1);
    }
}

TEST_F(MonitorTest, FailedStartClosesWithoutReadingAndReleasesOnce)
{
    ScriptedBoard::status = 512;
    auto window = makeWindow();
    runEventLoopFor(1300); // the closing timer fires, and the polling timer ticks at least once
    EXPECT_TRUE(window->quitRequested());
    EXPECT_FALSE(window->isVisible());
    EXPECT_EQ(ScriptedBoard::readCalls, 0);
    EXPECT_TRUE(QFile::exists(settingsPath())); // the first tick saved the pushed settings
    window.reset();
    EXPECT_EQ(ScriptedBoard::releaseCalls, 1);
}

TEST_F(MonitorTest, MissingExportsAreNeverCalled)
{
    GaugeApi api = ScriptedBoard::api();
    api.Fan2 = nullptr;
    api.DLLRelease = nullptr;
    AgentSetup setup;
    setup.settingsPath = settingsPath();
    setup.dataDirectory = dir.path();
    setup.readers = api;
    ScriptedBoard::values[Fan2] = 1234;
    {
        Mainform window(setup);
        window.agent().tick();
        EXPECT_EQ(window.agent().snapshot().Fan2, 0);
        EXPECT_EQ(window.agent().snapshot().Fan1, 2400);
    }

    api.DLLInitial = nullptr;
    setup.readers = api;
    Mainform window(setup);
    EXPECT_TRUE(window.quitRequested()); // no way to start the sensors
    window.agent().tick();
    EXPECT_EQ(ScriptedBoard::readCalls, 9 * 2);
}

TEST_F(MonitorTest, TrayAndCloseShowAndHideTheWindow)
{
    auto window = makeWindow();
    EXPECT_FALSE(window->isVisible());
    EXPECT_EQ(window->trayIconPath(), QString::fromLatin1(kHealthyIcon));

    for (auto reason : {QSystemTrayIcon::Context, QSystemTrayIcon::MiddleClick, QSystemTrayIcon::Unknown}) {
        window->slot_TrayActivated(reason);
        EXPECT_FALSE(window->isVisible()) << reason;
    }
    for (auto reason : {QSystemTrayIcon::Trigger, QSystemTrayIcon::DoubleClick}) {
        window->slot_TrayActivated(reason);
        EXPECT_TRUE(window->isVisible()) << reason;
        EXPECT_FALSE(window->close()); // the close button only hides
        EXPECT_FALSE(window->isVisible());
        EXPECT_FALSE(window->quitRequested());
    }
    window->slot_actTrayAbout();
    EXPECT_TRUE(window->isVisible());
    window->close();
    window->slot_TrayClicked();
    EXPECT_TRUE(window->isVisible());

    window->slot_QuitRequested();
    EXPECT_TRUE(window->quitRequested());
    EXPECT_FALSE(window->isVisible());
}

// The fourth page charts the machine's own history, read from its database when it is shown.
TEST_F(MonitorTest, HistoryPageReadsTheOwnDatabase)
{
    auto window = makeWindow();
    auto* selector = child<QListWidget>(*window, "lwItemSelector");
    auto* pages = child<QStackedWidget>(*window, "swInfoPanel");
    ASSERT_EQ(selector->count(), 4);
    EXPECT_EQ(selector->item(3)->text(), "History");
    selector->setCurrentRow(3);
    auto* view = qobject_cast<HistoryView*>(pages->currentWidget());
    ASSERT_NE(view, nullptr);
    EXPECT_EQ(view->objectName(), "PageHistory");
    QString shown;
    for (QwtPlotItem* item : view->chart()->itemList(QwtPlotItem::Rtti_PlotTextLabel))
        shown = static_cast<QwtPlotTextLabel*>(item)->text().text();
    EXPECT_EQ(shown, "No readings logged in this range"); // a new database, its summaries current
}

TEST_F(MonitorTest, WindowStartsOnItsFirstPages)
{
    auto window = makeWindow();
    EXPECT_EQ(window->windowTitle(), "Varden");
    EXPECT_EQ(window->objectName(), "MainformClass");
    auto* selector = child<QListWidget>(*window, "lwItemSelector");
    auto* pages = child<QStackedWidget>(*window, "swInfoPanel");
    EXPECT_EQ(selector->currentRow(), 0);
    EXPECT_EQ(pages->currentIndex(), 0);
    selector->setCurrentRow(2);
    EXPECT_EQ(pages->currentIndex(), 2);

    auto* tabs = child<QTabWidget>(*window, "twSetting");
    EXPECT_EQ(tabs->currentIndex(), 0);
    QStringList titles;
    for (int i = 0; i < tabs->count(); ++i)
        titles << tabs->tabText(i);
    EXPECT_EQ(titles, QStringList({"Processor", "Peripheral", "Temperature && Fan", "Log"}));
    // The Hardware Monitor page's group of rails; its object name keeps the old spelling.
    EXPECT_EQ(child<QGroupBox>(*window, "gbPerpherial")->title(), "Peripheral");

    auto* log = child<QTableView>(*window, "tvSqlQueryExec");
    const QAbstractItemModel* model = log->model();
    ASSERT_NE(model, nullptr);
    EXPECT_EQ(model->columnCount(), 3);
    EXPECT_EQ(model->headerData(2, Qt::Horizontal).toString(), "Note");
    EXPECT_EQ(log->columnWidth(0), 120);
    EXPECT_EQ(log->columnWidth(1), 40);
}

TEST_F(MonitorTest, SystemInformationLabels)
{
    auto window = makeWindow();
    window->showSystemInformation("Core <i7>", "BFEBFBFF000906EA", 8, "Debian GNU/Linux 12", "6.1", "6.1.0-18");
    EXPECT_EQ(child<QLabel>(*window, "labProcName")->text(), "Name : <B>Core &lt;i7&gt;</B>");
    EXPECT_EQ(child<QLabel>(*window, "labProcLogiProc")->text(), "Number Of Logical Processors : <B>8</B>");
    EXPECT_EQ(child<QLabel>(*window, "labOSBuildNum")->text(), "Build Number : <B>6.1.0-18</B>");
}

} // namespace
