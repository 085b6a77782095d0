// SPDX-FileCopyrightText: The Varden developers
//
// SPDX-License-Identifier: GPL-2.0-or-later

// The window over a real database file: the log page lists the stored faults, and the tray's
// alarm state shows on the debug output.

#include "client_process_fixture.h"
#include "monitor_fixture.h"
#include "sensor_time.h"

#include <QComboBox>
#include <QPushButton>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QStandardItemModel>
#include <QTableView>

#include <gtest/gtest.h>

using namespace monitortest;

namespace {

const QString kIdentity = QStringLiteral("{5EC0C0A0-0000-4000-8000-000000000001}");

// The types of the stored faults, newest last: every sensor and a code no sensor has.
const int kFaultTypes[] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 12};

struct LogPageTest : MonitorTest {
    QString databasePath() const { return dir.filePath("sysinfo2.sqlite"); }

    // 70 faults, each between two healthy rows, ten seconds apart, the last one of today.
    QVector<clienttest::StoredRow> history() const
    {
        QVector<clienttest::StoredRow> rows;
        const QDateTime start(QDate::currentDate(), QTime(0, 0));
        for (int i = 0; i < 70; ++i) {
            const QDateTime when = start.addSecs(10 * i);
            rows.append({when, SensorCpuLoad, 12, 0});
            rows.append({when, kFaultTypes[i % std::size(kFaultTypes)], 1000 + i, 1});
            rows.append({when, SensorVcore, 1200, 0});
        }
        return rows;
    }

    static QVector<clienttest::StoredRow> faultsNewestFirst(const QVector<clienttest::StoredRow>& rows)
    {
        QVector<clienttest::StoredRow> faults;
        for (auto row = rows.crbegin(); row != rows.crend(); ++row)
            if (row->err)
                faults.append(*row);
        return faults;
    }

    static QStandardItemModel* logModel(const Mainform& window)
    {
        return qobject_cast<QStandardItemModel*>(child<QTableView>(window, "tvSqlQueryExec")->model());
    }

    // The rows the page shows, as the stored row each one stands for.
    static void expectRows(const QStandardItemModel* model, const QVector<clienttest::StoredRow>& expected)
    {
        ASSERT_EQ(model->rowCount(), expected.size());
        for (int r = 0; r < model->rowCount(); ++r) {
            const clienttest::StoredRow& row = expected[r];
            SCOPED_TRACE(r);
            EXPECT_EQ(model->item(r, 0)->text(), sensorTimeText(row.when));
            const QStandardItem* type = model->item(r, 1);
            if (sensorTypeRow(row.type)) {
                EXPECT_TRUE(type->text().isEmpty());
                EXPECT_FALSE(type->icon().isNull());
            } else {
                EXPECT_EQ(type->text(), "?");
                EXPECT_TRUE(type->icon().isNull());
            }
            EXPECT_EQ(model->item(r, 2)->text(), sensorLogText(row.type, row.data));
        }
    }
};

TEST_F(LogPageTest, ShowsTheNewestFiftyFaultsByCategory)
{
    const QVector<clienttest::StoredRow> rows = history();
    ASSERT_TRUE(clienttest::writeClientDatabase(databasePath(), kIdentity, rows));
    const QVector<clienttest::StoredRow> faults = faultsNewestFirst(rows);
    auto window = makeWindow();
    const QStandardItemModel* model = logModel(*window);

    // Filled at start-up, before anyone asks.
    expectRows(model, faults.mid(0, 50));
    EXPECT_EQ(model->item(0, 2)->text(), "System Fan = 1069 RPM");
    EXPECT_EQ(model->item(2, 2)->text(), "Vio = 1.067 V");
    EXPECT_EQ(model->item(4, 2)->text(), "TypeID = 0xc, Data = 0x429");
    EXPECT_EQ(model->item(5, 2)->text(), "System Temperature = 1064 'C");
    EXPECT_EQ(model->headerData(0, Qt::Horizontal).toString(), "Date");

    struct Category {
        int index;
        QList<int> types;
    };
    const Category categories[] = {{1, {8, 9}}, {2, {0, 1, 4, 5, 6, 7}}, {3, {2, 3}}, {0, {}}};
    auto* combo = child<QComboBox>(*window, "cboxSqlLogCmd");
    for (const Category& category : categories) {
        SCOPED_TRACE(category.index);
        combo->setCurrentIndex(category.index);
        QVector<clienttest::StoredRow> shown;
        for (const clienttest::StoredRow& fault : faults)
            if ((category.types.isEmpty() || category.types.contains(fault.type)) && shown.size() < 50)
                shown.append(fault);
        expectRows(model, shown);
    }
}

TEST_F(LogPageTest, RefreshReadsWhatWasLoggedSince)
{
    ASSERT_TRUE(clienttest::writeClientDatabase(databasePath(), kIdentity, {}));
    auto window = makeWindow();
    const QStandardItemModel* model = logModel(*window);
    EXPECT_EQ(model->rowCount(), 0);
    EXPECT_EQ(model->columnCount(), 3);

    // Another connection writes a fault, as the logging thread does.
    {
        QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", "writer");
        db.setDatabaseName(databasePath());
        ASSERT_TRUE(db.open());
        QSqlQuery(db).exec("INSERT INTO SENSOR_TBL (DATE_TIME, TYPE_ID, DATA, ERR) VALUES ('2024-3-5 7:4:0', 8, 75, 1);");
    }
    QSqlDatabase::removeDatabase("writer");
    EXPECT_EQ(model->rowCount(), 0) << "the page changes only when asked";

    child<QPushButton>(*window, "btnSqlLogExec")->click();
    ASSERT_EQ(model->rowCount(), 1);
    EXPECT_EQ(model->item(0, 0)->text(), "2024-3-5 7:4:0");
    EXPECT_EQ(model->item(0, 2)->text(), "Processor Temperature = 75 'C");
}

TEST_F(LogPageTest, FirstRunMakesTheHostIdentityThatLaterRunsKeep)
{
    auto window = makeWindow();
    const QUuid identity = window->agent().hostIdentity();
    EXPECT_FALSE(identity.isNull());
    EXPECT_EQ(logModel(*window)->rowCount(), 0);
    EXPECT_TRUE(window->agent().loggingThreadRunning());
    window.reset();
    ASSERT_TRUE(QFile::exists(databasePath()));

    window = makeWindow();
    EXPECT_EQ(window->agent().hostIdentity(), identity);
}

QStringList g_debugOutput;

void collect(QtMsgType, const QMessageLogContext&, const QString& text)
{
    g_debugOutput << text;
}

TEST_F(MonitorTest, AlarmEpisodeBeginAndEndReachTheDebugOutput)
{
    auto window = makeWindow();
    g_debugOutput.clear();
    const QtMessageHandler previous = qInstallMessageHandler(collect);
    const int healthy = ScriptedBoard::values[CpuTemp];
    for (int temperature : {healthy, 90, 91, healthy, healthy, 95}) {
        ScriptedBoard::values[CpuTemp] = temperature;
        window->agent().tick();
    }
    qInstallMessageHandler(previous);
    EXPECT_EQ(g_debugOutput.filter("alarm:"), QStringList({"alarm: fault", "alarm: healthy", "alarm: fault"}));
}

} // namespace
