// SPDX-FileCopyrightText: The Varden developers
//
// SPDX-License-Identifier: GPL-2.0-or-later

// One snapshot, three verdicts: the agent's alarm, the station's red labels and vrdctl's
// "outOfLimits" must agree for every sensor, with the real broker between them.

#include "alarm.h"
#include "station_fixture.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QLabel>

#include <random>

using namespace stationtest;

namespace {

// The station's value label of each sensor.
const std::map<int, const char*> kStationLabels = {
    {SensorVcore, "labVcore"}, {SensorVio, "labVio"},         {SensorCpuFan, "labCPUFan"},
    {SensorSysFan, "labSysFan"}, {SensorP5V, "labP5V"},        {SensorP12V, "labP12V"},
    {SensorN5V, "labN5V"},     {SensorN12V, "labN12V"},       {SensorCpuTemp, "labCPUTemp"},
    {SensorSysTemp, "labSysTemp"},
};

enum class Position { Inside, AtHigh, AboveHigh, AtLow, BelowLow };

// Every sensor of the default snapshot placed at the same position against its own limits;
// a position a type has no limit for leaves it inside.
SensorSnapshot placed(Position position, bool switchedOn)
{
    SensorSnapshot snapshot;
    for (const auto& [code, label] : kStationLabels) {
        const SensorTypeRow& row = *sensorTypeRow(code);
        const SensorFields& fields = *sensorFields(code);
        const int high = hasHighLimit(row.rule) ? row.defaultHigh : row.defaultLow + 1000;
        const int low = hasLowLimit(row.rule) ? row.defaultLow : 0;
        int value = (high + low) / 2;
        if (position == Position::AtHigh && hasHighLimit(row.rule))
            value = high;
        if (position == Position::AboveHigh && hasHighLimit(row.rule))
            value = high + 1;
        if (position == Position::AtLow && hasLowLimit(row.rule))
            value = low;
        if (position == Position::BelowLow && hasLowLimit(row.rule))
            value = low - 1;
        snapshot.*fields.reading = int16_t(value);
        snapshot.*fields.enabled = switchedOn ? 1 : 0;
    }
    return snapshot;
}

// A few snapshots with every reading, switch and limit drawn at random around the defaults.
SensorSnapshot drawn(std::mt19937& random)
{
    SensorSnapshot snapshot;
    for (const auto& [code, label] : kStationLabels) {
        const SensorFields& fields = *sensorFields(code);
        const SensorTypeRow& row = *sensorTypeRow(code);
        const int centre = (row.defaultHigh + row.defaultLow) / 2;
        const int spread = std::max(4, (row.defaultHigh - row.defaultLow));
        snapshot.*fields.reading = int16_t(std::max(100, centre + int(random() % spread) - spread / 2));
        snapshot.*fields.enabled = random() % 2;
        if (fields.high)
            snapshot.*fields.high = int16_t(snapshot.*fields.reading + int(random() % 3) - 1);
        if (fields.low)
            snapshot.*fields.low = int16_t(snapshot.*fields.reading + int(random() % 3) - 1);
    }
    return snapshot;
}

class LimitsAgreement : public StationTest {
protected:
    // vrdctl's "outOfLimits" by type, asked through the broker; the peer answers for the agent
    // with the snapshot's reply, which the station receives too.
    std::map<int, bool> askBoth(const QUuid& agent, const SensorSnapshot& snapshot)
    {
        peer->clear();
        QProcess vrdctl;
        vrdctl.start(QStringLiteral(VRD_BIN_DIR "/vrdctl"),
                     {"--port", QString::number(broker.port()), "--channel", kChannel, "--timeout", "10000",
                      "--json", "sensors", msg::uuidText(agent)});
        EXPECT_TRUE(vrdtest::waitUntil([&] { return !peer->payloads().isEmpty(); }, 10000));
        publishReply(msg::buildSensorReply(agent, snapshot));
        EXPECT_TRUE(vrdtest::waitUntil([&] { return vrdctl.state() == QProcess::NotRunning; }, 10000));
        std::map<int, bool> verdicts;
        const QJsonObject out = QJsonDocument::fromJson(vrdctl.readAllStandardOutput()).object();
        for (const QJsonValue& row : out.value("sensors").toArray())
            verdicts[row.toObject().value("type").toInt()] = row.toObject().value("outOfLimits").toBool();
        return verdicts;
    }

    void expectAgreement(const QUuid& agent, const SensorSnapshot& snapshot, const std::string& what)
    {
        const std::map<int, bool> vrdctl = askBoth(agent, snapshot);
        ASSERT_EQ(vrdctl.size(), kStationLabels.size()) << what;
        bool anyOut = false;
        for (const auto& [code, labelName] : kStationLabels) {
            SCOPED_TRACE(what + " / " + sensorTypeRow(code)->name);
            const bool agentVerdict = outOfLimits(code, figuresOf(snapshot, code));
            anyOut = anyOut || agentVerdict;
            EXPECT_EQ(vrdctl.at(code), agentVerdict);
            const QLabel* label = widget<QLabel>(labelName);
            const bool red = label->text().startsWith(QStringLiteral("<font color=\"Red\">"));
            EXPECT_FALSE(label->isHidden());
            EXPECT_EQ(red, agentVerdict) << label->text().toStdString();
        }
        EXPECT_EQ(anySwitchedSensorInError(snapshot), anyOut) << what;
    }
};

TEST_F(LimitsAgreement, AgentStationAndVrdctlAgreeOnEverySensor)
{
    startStation();
    const QUuid agent = addClient(QStringLiteral("PC"));
    click(0);
    const struct {
        const char* what;
        Position position;
    } positions[] = {{"inside", Position::Inside},
                     {"at high", Position::AtHigh},
                     {"above high", Position::AboveHigh},
                     {"at low", Position::AtLow},
                     {"below low", Position::BelowLow}};
    for (const auto& p : positions) {
        for (bool on : {true, false})
            expectAgreement(agent, placed(p.position, on), std::string(p.what) + (on ? ", on" : ", off"));
    }
    std::mt19937 random(12);
    for (int i = 0; i < 6; ++i)
        expectAgreement(agent, drawn(random), "drawn " + std::to_string(i));
}

} // namespace
