// SPDX-FileCopyrightText: The Varden developers
//
// SPDX-License-Identifier: GPL-2.0-or-later

#include "tsql_thread.h"
#include "client_database.h"
#include "sensor_summary.h"
#include "sensor_time.h"
#include "sqlite_handle.h"
#include "wmi_query.h"

#include <QDebug>
#include <QSqlQuery>

namespace {

constexpr int kNoSecond = 0xFFFF;
constexpr int kBusyPollMs = 10;

int defaultLoadSample(int16_t* load)
{
    return WmiQuery("Win32_Processor", "LoadPercentage", kWmiInt16, load);
}

// The local time to the second, the time zone consulted once a second rather than on each of the
// loop's twenty turns (each look-up reads the zone file's status): the loop wants the second and
// a pass's stamp, neither of which has a finer part. The clock is called on the logging thread
// only; its cache lives in the clock, not in thread-local storage, whose destructors MinGW's
// runtime may run after it has freed that storage.
class LocalSecondClock {
public:
    QDateTime operator()()
    {
        const qint64 now = QDateTime::currentSecsSinceEpoch();
        if (now != m_second) {
            m_second = now;
            m_local = QDateTime::fromSecsSinceEpoch(now);
        }
        return m_local;
    }

private:
    qint64 m_second = -1;
    QDateTime m_local;
};

// The statement as text, for the trace lines only; the insert itself binds its values.
QString insertStatementText(const QString& time, int type, int data, int err)
{
    return QStringLiteral("INSERT INTO SENSOR_TBL (DATE_TIME, TYPE_ID, DATA, ERR) VALUES (\"%1\", %2, %3, %4);")
        .arg(time)
        .arg(type)
        .arg(data)
        .arg(err);
}

} // namespace

TSQLThread::TSQLThread(QObject* parent)
    : QThread(parent)
    , m_databasePath(QString::fromLatin1(ClientDatabase::kFileName))
    , m_clock(LocalSecondClock())
    , m_loadSampler(defaultLoadSample)
{
}

TSQLThread::~TSQLThread()
{
    RequestStop();
    wait();
}

void TSQLThread::setDatabasePath(const QString& path)
{
    m_databasePath = path;
}

void TSQLThread::setClock(LocalClock clock)
{
    m_clock = std::move(clock);
}

void TSQLThread::setLoadSampler(LoadSampler sampler)
{
    m_loadSampler = std::move(sampler);
}

void TSQLThread::SetSnapshot(const SensorSnapshot& snapshot)
{
    QMutexLocker lock(&m_snapshotMutex);
    m_snapshot = snapshot;
}

int16_t TSQLThread::GetCpuLoad()
{
    QMutexLocker lock(&m_loadMutex);
    return m_cpuLoad;
}

void TSQLThread::RequestStop()
{
    m_stop = true;
}

void TSQLThread::run()
{
    qDebug().noquote() << "TSQLThread::run" << __LINE__ << "SQL Thread Start";
    const QString connectionName = QStringLiteral("vrd_logging_%1").arg(quintptr(this), 0, 16);
    {
        qDebug().noquote() << "TSQLThread::run" << __LINE__ << "opening the sysinfo.sqlite file.";
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), connectionName);
        db.setDatabaseName(m_databasePath);
        db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=%1").arg(kBusyTimeoutMs));
        // Unchecked on purpose: on a connection that did not open each insert fails and is traced.
        db.open();
        installBusyWait(db);
        registerSummaryFunctions(db);

        int lastCopySecond = kNoSecond;
        int lastWriteSecond = kNoSecond;
        bool copyPending = false;
        bool writePending = false;
        SensorSnapshot local;
        // Rows not yet in the summaries: those an older program or a crash left, then each pass.
        bool unfolded = true;
        while (!m_stop) {
            const QDateTime now = m_clock();
            msleep(kLoopSleepMs);
            if (m_stop)
                break;
            const int second = now.time().second();
            if (second != lastCopySecond) {
                lastCopySecond = second;
                copyPending = true;
            }
            if (second != lastWriteSecond) {
                lastWriteSecond = second;
                if (second % 10 == 0)
                    writePending = true;
            }
            if (copyPending) {
                copyPending = false;
                QMutexLocker lock(&m_snapshotMutex);
                local = m_snapshot;
            }
            if (m_stop)
                break;
            if (writePending) {
                writePending = false;
                SensorChecker(db, local, now);
                unfolded = true;
            }
            // One chunk per turn, so that a long catch-up at start still leaves every pass on
            // time; a failed fold waits for the next pass.
            if (unfolded && !m_stop)
                unfolded = !foldSensorRows(db, kFoldChunkRows).value_or(true);
        }
        db.close();
    }
    QSqlDatabase::removeDatabase(connectionName);
    qDebug().noquote() << "TSQLThread::run" << __LINE__ << "SQL Thread Quit";
}

void TSQLThread::SensorChecker(QSqlDatabase& db, const SensorSnapshot& snapshot, const QDateTime& when)
{
    for (const int type : kSensorLoggingOrder) {
        const SensorFigures figures = figuresOf(snapshot, type);
        if (figures.enabled)
            InsertSensorRow(db, type, figures.reading, outOfLimits(type, figures) ? 1 : 0, when);
        if (m_stop)
            return;
    }
    const int16_t load = sampleCpuLoad();
    if (m_stop)
        return;
    InsertSensorRow(db, SensorCpuLoad, load, 0, when);
}

void TSQLThread::installBusyWait(QSqlDatabase& db)
{
    if (sqlite3* connection = sqliteHandle(db))
        sqlite3_busy_handler(connection, &TSQLThread::busyWait, this);
}

int TSQLThread::busyWait(void* thread, int attempts)
{
    if (static_cast<TSQLThread*>(thread)->m_stop || attempts * kBusyPollMs >= kBusyTimeoutMs)
        return 0;
    msleep(kBusyPollMs);
    return 1;
}

int16_t TSQLThread::sampleCpuLoad()
{
    QMutexLocker lock(&m_loadMutex);
    m_loadSampler(&m_cpuLoad);
    return m_cpuLoad;
}

void TSQLThread::InsertSensorRow(QSqlDatabase& db, int type, int data, int err, const QDateTime& when)
{
    const QString time = sensorTimeText(when);
    if (err == 1)
        qDebug().noquote() << "TSQLThread::SensorChecker" << __LINE__ << insertStatementText(time, type, data, err);
    QSqlQuery query(db);
    query.prepare(QStringLiteral("INSERT INTO SENSOR_TBL (DATE_TIME, TYPE_ID, DATA, ERR) VALUES (?, ?, ?, ?);"));
    query.addBindValue(time);
    query.addBindValue(type);
    query.addBindValue(data);
    query.addBindValue(err);
    if (!query.exec()) {
        qDebug().noquote() << "TSQLThread::SensorChecker" << __LINE__ << "SqlQueryCmd execute fail!";
        qDebug().noquote() << "SqlQueryCmd" << insertStatementText(time, type, data, err);
    }
    query.clear();
    query.finish();
}
