// SPDX-FileCopyrightText: The Varden developers
//
// SPDX-License-Identifier: GPL-2.0-or-later

// The station's window as an operator sees it, at its default size and at 1024 x 768, on each
// of its two tabs: no widget drawn over a sibling, every label wide enough for its text, and the
// window able to take the size given. The window shows a fleet of three hundred, the selected
// client's inventory and readings (a long processor name among them), and its faults.

#include "station_fixture.h"
#include "window_layout.h"

#include <QJsonArray>
#include <QLabel>
#include <QTabWidget>

using namespace stationtest;

namespace {

QJsonObject sensorReply(const QUuid& id)
{
    const QJsonObject figures{{"SenCPUTemp", 81},   {"SenSetGapCPUTemp", 70}, {"SenSetEnCPUTemp", true},
                              {"SenSYSTemp", 36},   {"SenFan1", 2327},        {"SenFan2", 2091},
                              {"SenVcore", 1236},   {"SenVio", 3312},         {"SenP5V", 4991},
                              {"SenP12V", 11896},   {"SenN5V", 5020},         {"SenN12V", 12034}};
    return {{"SrvCall", 1}, {"TUuid", msg::uuidText(id)}, {"CurrSensor", QJsonArray{figures}}};
}

QJsonObject inventory(const QUuid& id, const QString& name)
{
    msg::Inventory inventory;
    inventory.comp = name;
    inventory.cpu = QStringLiteral("Intel(R) Core(TM) i7-8700 CPU @ 3.20GHz");
    inventory.os = QStringLiteral("Debian GNU/Linux 12 (bookworm)");
    inventory.sysModel = QStringLiteral("Tower Workstation TW-2");
    inventory.sysSerial = QStringLiteral("SN37528AE2");
    return parsed(msg::buildInventoryReply(id, inventory)).object;
}

struct Shown {
    const char* name;
    QSize size; // empty: the window's own default size
    int tab;    // of the Faults/History tabs
};

class StationWindowLayout : public testing::TestWithParam<Shown> {
protected:
    void SetUp() override
    {
        ensureApplication();
        station = std::make_unique<Mainform>(dir.path());
        station->tickTimer()->stop();
        // A fleet of three hundred, all online: the count is as wide as it gets in practice.
        for (int i = 1; i <= 300; ++i)
            station->handleInventory(inventory(QUuid::createUuid(), QStringLiteral("OFFICE\\WS-%1").arg(i, 4, 10, QLatin1Char('0'))));
        const QDateTime now = QDateTime::currentDateTime();
        for (int row = 0; row < station->clientList().rowCount(); ++row)
            station->clientList().markSeen(row, now);
        station->clientList().refreshStatus(now);
        ASSERT_EQ(station->clientCountLabel()->text(), QStringLiteral("300 online / 300 known"));
        const QUuid selected = station->clientList().identityAt(0);
        station->slot_tvClientClicked(station->clientList().index(0, 0));
        station->handleCurrentSensors(sensorReply(selected));
        station->handleFaultHistory(faultReply(3, selected, QJsonArray{QJsonObject{
            {"TYPE", 8}, {"MSG", "Processor Temperature = 81 'C"}, {"DT", "1765350000"}}}));
    }

    ProgramDir dir;
    std::unique_ptr<Mainform> station;
};

TEST_P(StationWindowLayout, NothingOverlapsAndEveryTextFits)
{
    const Shown& shown = GetParam();
    const QSize size = shown.size.isValid() ? shown.size : station->size();
    station->historyTab().tabs()->setCurrentIndex(shown.tab);
    station->show();
    station->resize(size);
    EXPECT_EQ(vrdtest::layoutFaults(*station, size).join('\n').toStdString(), "");
}

const Shown kShown[] = {
    {"DefaultSizeFaults", QSize(), 0},
    {"DefaultSizeHistory", QSize(), 1},
    {"At1024x768Faults", QSize(1024, 768), 0},
    {"At1024x768History", QSize(1024, 768), 1},
};

INSTANTIATE_TEST_SUITE_P(Sizes, StationWindowLayout, testing::ValuesIn(kShown),
                         [](const testing::TestParamInfo<Shown>& info) { return std::string(info.param.name); });

} // namespace
