// SPDX-FileCopyrightText: The Varden developers
//
// SPDX-License-Identifier: GPL-2.0-or-later

// What the replies show for the selected client, and what the user's actions do.

#include "station_fixture.h"

#include <QAbstractItemView>
#include <QComboBox>
#include <QJsonArray>
#include <QLabel>

using namespace stationtest;

namespace {

const QString kRed = QStringLiteral("<font color=\"Red\">%1</font>");

QJsonObject sensorReply(const QUuid& id, const QJsonObject& figures)
{
    return {{"SrvCall", 1}, {"TUuid", msg::uuidText(id)}, {"CurrSensor", QJsonArray{figures}}};
}

class DisplayTest : public StationTest {
protected:
    // A window without broker, for the handlers driven directly.
    void startOffline()
    {
        station.reset(); // one registry connection at a time
        station = std::make_unique<Mainform>(dir.path());
        station->tickTimer()->stop();
    }

    QLabel* label(const char* name) const { return widget<QLabel>(name); }
    QString text(const char* name) const { return label(name)->text(); }

    QStringList historyRows() const
    {
        QStringList rows;
        QStandardItemModel* model = station->historyModel();
        for (int row = 0; row < model->rowCount(); ++row)
            rows << model->item(row, 0)->text() + QLatin1String(" | ") + model->item(row, 1)->text();
        return rows;
    }
};

struct ReadingCase {
    const char* name;
    QJsonObject figures;
    const char* label;
    QString expected;     // the label's text
    const char* caption;  // the caption hidden with the label, or null
    bool shown;
};

TEST_F(DisplayTest, ReadingsAgainstTheClientsLimits)
{
    const ReadingCase cases[] = {
        {"temperature at limit", {{"SenCPUTemp", 70}, {"SenSetGapCPUTemp", 70}, {"SenSetEnCPUTemp", true}},
         "labCPUTemp", QStringLiteral("70 'C"), nullptr, true},
        {"temperature above limit", {{"SenCPUTemp", 71}, {"SenSetGapCPUTemp", 70}, {"SenSetEnCPUTemp", true}},
         "labCPUTemp", kRed.arg(QStringLiteral("71 'C")), nullptr, true},
        {"temperature above limit, switched off",
         {{"SenCPUTemp", 71}, {"SenSetGapCPUTemp", 70}, {"SenSetEnCPUTemp", false}}, "labCPUTemp",
         QStringLiteral("71 'C"), nullptr, true},
        {"system temperature below zero", {{"SenSYSTemp", -5}, {"SenSetGapSYSTemp", 70}, {"SenSetEnSYSTemp", true}},
         "labSysTemp", QStringLiteral("-5 'C"), nullptr, true},
        {"fan below limit", {{"SenFan1", 999}, {"SenSetGapFan1", 1000}, {"SenSetEnFan1", true}}, "labCPUFan",
         kRed.arg(QStringLiteral("999 RPM")), nullptr, true},
        {"fan at limit", {{"SenFan2", 1000}, {"SenSetGapFan2", 1000}, {"SenSetEnFan2", true}}, "labSysFan",
         QStringLiteral("1000 RPM"), nullptr, true},
        {"+5V at high limit",
         {{"SenP5V", 5400}, {"SenSetGapP5VHi", 5400}, {"SenSetGapP5VLo", 4600}, {"SenSetEnP5V", true}}, "labP5V",
         QStringLiteral("5.400 V"), "label_21", true},
        {"+5V above high limit",
         {{"SenP5V", 5401}, {"SenSetGapP5VHi", 5400}, {"SenSetGapP5VLo", 4600}, {"SenSetEnP5V", true}}, "labP5V",
         kRed.arg(QStringLiteral("5.401 V")), "label_21", true},
        {"+5V below low limit",
         {{"SenP5V", 4599}, {"SenSetGapP5VHi", 5400}, {"SenSetGapP5VLo", 4600}, {"SenSetEnP5V", true}}, "labP5V",
         kRed.arg(QStringLiteral("4.599 V")), "label_21", true},
        {"+5V absent, switched off", {{"SenP5V", 0}, {"SenSetEnP5V", false}}, "labP5V", QString(), "label_21", false},
        {"+5V dead, switched on",
         {{"SenP5V", 0}, {"SenSetGapP5VHi", 5400}, {"SenSetGapP5VLo", 4600}, {"SenSetEnP5V", true}}, "labP5V",
         kRed.arg(QStringLiteral("0.000 V")), "label_21", true},
        {"+12V dead, switched on",
         {{"SenP12V", 40}, {"SenSetGapP12VHi", 13500}, {"SenSetGapP12VLo", 10500}, {"SenSetEnP12V", true}},
         "labP12V", kRed.arg(QStringLiteral("0.040 V")), "label_23", true},
        {"+12V above limit",
         {{"SenP12V", 13501}, {"SenSetGapP12VHi", 13500}, {"SenSetGapP12VLo", 10500}, {"SenSetEnP12V", true}},
         "labP12V", kRed.arg(QStringLiteral("13.501 V")), "label_23", true},
        {"-5V negative", {{"SenN5V", -200}}, "labN5V", QString(), "label_26", false},
        {"-12V just below presence", {{"SenN12V", 99}}, "labN12V", QString(), "label_27", false},
        {"-12V at presence", {{"SenN12V", 100}}, "labN12V", QStringLiteral("0.100 V"), "label_27", true},
        {"Vcore in volts", {{"SenVcore", 1234}, {"SenSetGapVcoreHi", 3600}, {"SenSetGapVcoreLo", 500}},
         "labVcore", QStringLiteral("1.234 V"), nullptr, true},
        {"Vcore absent is shown", {}, "labVcore", QStringLiteral("0.000 V"), nullptr, true},
        {"Vio below low limit", {{"SenVio", 499}, {"SenSetGapVioHi", 3600}, {"SenSetGapVioLo", 500}, {"SenSetEnVio", true}},
         "labVio", kRed.arg(QStringLiteral("0.499 V")), nullptr, true},
        {"non-integer reading reads as 0", {{"SenCPUTemp", 71.5}, {"SenSetEnCPUTemp", true}}, "labCPUTemp",
         QStringLiteral("0 'C"), nullptr, true},
    };

    for (const ReadingCase& c : cases) {
        startOffline();
        const QUuid id = addClient(QStringLiteral("PC"));
        click(station->clientList().rowOf(id));
        station->handleCurrentSensors(sensorReply(id, c.figures));
        EXPECT_EQ(text(c.label), c.expected) << c.name;
        EXPECT_EQ(label(c.label)->isHidden(), !c.shown) << c.name;
        if (c.caption) {
            EXPECT_EQ(label(c.caption)->isHidden(), !c.shown) << c.name;
        }
    }
}

// Any client in fault, selected or not, says in the Health column's tool tip which readings are
// out of their limits, in the fleet events' words; the tip follows the replies and goes with
// the fault.
TEST_F(DisplayTest, AClientInFaultNamesItsReadingsInTheHealthTip)
{
    const QJsonObject limits{{"SenSetEnCPUTemp", true},  {"SenSetGapCPUTemp", 70},   {"SenSetEnVcore", true},
                             {"SenSetGapVcoreHi", 3600}, {"SenSetGapVcoreLo", 500}, {"SenSetEnFan1", true},
                             {"SenSetGapFan1", 1000}};
    struct Step {
        const char* name;
        int cpuTemp;
        int vcore;
        int fan;
        const char* tip; // null: none
    };
    const Step steps[] = {
        {"healthy", 45, 1200, 2400, nullptr},
        {"two readings out", 91, 3998, 2400,
         "Vcore = 3.998 V (limit 3.600 V)\nProcessor Temperature = 91 'C (limit 70 'C)"},
        {"one of them back, another out", 45, 3998, 640,
         "Vcore = 3.998 V (limit 3.600 V)\nProcessor Fan = 640 RPM (limit 1000 RPM)"},
        {"healthy again", 45, 1200, 2400, nullptr},
    };

    startOffline();
    const QUuid id = addClient(QStringLiteral("PC"));
    station->clientList().markSeen(0, QDateTime::currentDateTime());
    station->slot_TimerEvent(); // shown online: the health polling takes it on
    const QModelIndex health = station->clientList().index(0, ClientList::kHealthColumn);
    for (const Step& s : steps) {
        QJsonObject figures = limits;
        figures.insert(QStringLiteral("SenCPUTemp"), s.cpuTemp);
        figures.insert(QStringLiteral("SenVcore"), s.vcore);
        figures.insert(QStringLiteral("SenFan1"), s.fan);
        station->handleCurrentSensors(sensorReply(id, figures));
        EXPECT_EQ(health.data(Qt::DisplayRole).toString(), QLatin1String(s.tip ? "fault" : "healthy")) << s.name;
        EXPECT_EQ(health.data(Qt::ToolTipRole).toString(), QString::fromUtf8(s.tip ? s.tip : "")) << s.name;
    }
}

TEST_F(DisplayTest, AbsentRailHidesAndKeepsItsLastText)
{
    startOffline();
    const QUuid id = addClient(QStringLiteral("PC"));
    click(0);
    station->handleCurrentSensors(sensorReply(id, {{"SenP5V", 5000}}));
    EXPECT_EQ(text("labP5V"), QStringLiteral("5.000 V"));

    station->handleCurrentSensors(sensorReply(id, {{"SenP5V", 0}}));
    EXPECT_TRUE(label("labP5V")->isHidden());
    EXPECT_TRUE(label("label_21")->isHidden());
    EXPECT_EQ(text("labP5V"), QStringLiteral("5.000 V"));

    // Another client's click empties the texts but does not show the hidden labels again.
    addClient(QStringLiteral("other"));
    click(1);
    EXPECT_TRUE(label("labP5V")->isHidden());
    EXPECT_TRUE(text("labP5V").isEmpty());
    station->handleCurrentSensors(sensorReply(station->selectedClient(), {{"SenP5V", 4990}}));
    EXPECT_FALSE(label("labP5V")->isHidden());
    EXPECT_FALSE(label("label_21")->isHidden());
    EXPECT_EQ(text("labP5V"), QStringLiteral("4.990 V"));
}

TEST_F(DisplayTest, ReadingsOfOtherClientsAreDropped)
{
    startOffline();
    const QUuid id = addClient(QStringLiteral("PC"));
    // Nothing selected yet: even a reply whose identity does not parse is dropped.
    station->handleCurrentSensors(QJsonObject{{"SrvCall", 1}, {"TUuid", "x"}, {"CurrSensor", QJsonArray{}}});
    EXPECT_TRUE(text("labVcore").isEmpty());

    click(0);
    station->handleCurrentSensors(sensorReply(QUuid::createUuid(), {{"SenVcore", 1000}}));
    station->handleCurrentSensors(sensorReply(msg::broadcastUuid(), {{"SenVcore", 1000}}));
    station->handleCurrentSensors(QJsonObject{{"SrvCall", 1}, {"CurrSensor", QJsonArray{}}});
    EXPECT_TRUE(text("labVcore").isEmpty());

    station->handleCurrentSensors(sensorReply(id, {{"SenVcore", 1000}}));
    EXPECT_EQ(text("labVcore"), QStringLiteral("1.000 V"));
}

TEST_F(DisplayTest, HistoryRows)
{
    startOffline();
    const QUuid id = addClient(QStringLiteral("PC"));
    click(0);
    const QString epoch = QDateTime::fromSecsSinceEpoch(0).toString(QStringLiteral("yyyy/MM/dd hh:mm:ss"));
    const QString march = QDateTime::fromSecsSinceEpoch(1709593440).toString(QStringLiteral("yyyy/MM/dd hh:mm:ss"));

    station->handleFaultHistory(faultReply(3, id, {}));
    EXPECT_EQ(historyRows(), QStringList{QStringLiteral("N/A | No fault found")});

    station->handleFaultHistory(faultReply(
        3, id,
        {QJsonObject{{"DT", "1709593440"}, {"MSG", "Vcore = 3.712 V"}, {"TYPE", 0}},
         QJsonObject{{"DT", "0"}, {"MSG", "- 5V = 4.512 V"}, {"TYPE", 6}},
         QJsonObject{{"DT", "soon"}, {"MSG", "System Fan = 12 RPM"}, {"TYPE", 3}},
         QJsonObject{{"DT", "99999999999999999999"}, {"MSG", "overflow"}, {"TYPE", 3}},
         QJsonObject{{"DT", "99999999999999"}, {"MSG", "beyond the calendar"}, {"TYPE", 3}}, QJsonValue(7)}));
    EXPECT_EQ(historyRows(),
              (QStringList{march + " | Vcore = 3.712 V", epoch + " | - 5V = 4.512 V", epoch + " | System Fan = 12 RPM",
                           epoch + " | overflow", " | beyond the calendar", epoch + " | "}));
    EXPECT_EQ(station->historyModel()->headerData(1, Qt::Horizontal).toString(), QStringLiteral("Condition"));

    // A history of another client leaves the table as it is.
    station->handleFaultHistory(faultReply(3, QUuid::createUuid(), {}));
    EXPECT_EQ(historyRows().size(), 6);
}

TEST_F(DisplayTest, ClickShowsTheRegisteredInventoryAndPollsOnTheNextTick)
{
    const QUuid id = QUuid::createUuid();
    // The registry keeps the identity as the client wrote it; the lookup ignores case.
    dir.writeRegistry({{QStringLiteral("PC"), msg::uuidText(id).toUpper()}});
    startStation();
    click(0, 1);
    EXPECT_EQ(station->selectedClient(), id);
    const QModelIndexList selected = widget<QAbstractItemView>("tvClient")->selectionModel()->selectedIndexes();
    ASSERT_EQ(selected.size(), 1);
    EXPECT_EQ(selected.first(), station->clientFilter().mapFromSource(station->clientList().index(0, 0)));
    EXPECT_EQ(text("labCPUName"), QStringLiteral("cpu of PC"));
    EXPECT_EQ(text("labOperatingSystem"), QStringLiteral("os"));
    EXPECT_EQ(text("labSystemModel"), QStringLiteral("model"));
    EXPECT_EQ(text("labSystemSerial"), QStringLiteral("serial"));

    const QList<msg::Envelope> sent = tick();
    ASSERT_EQ(sent.size(), 2);
    EXPECT_EQ(sent[0].code, int(msg::KindCurrentSensors));
    EXPECT_EQ(msg::addressOf(sent[0].object), id);
}

TEST_F(DisplayTest, ClickOnTheSelectedClientOnlyPollsAgain)
{
    startStation();
    const QUuid id = addClient(QStringLiteral("PC"));
    click(0);
    tick();
    publishReply(msg::buildSensorReply(id, SensorSnapshot{}));
    publishReply(msg::buildFaultReply(3, id, {{8, 75, 0}}));
    const QString vcore = text("labVcore");
    ASSERT_FALSE(vcore.isEmpty());
    ASSERT_EQ(station->historyModel()->rowCount(), 1);
    station->handleInventory(inventoryReply(id, QStringLiteral("PC"), QStringLiteral("fresh cpu")));
    ASSERT_EQ(text("labCPUName"), QStringLiteral("fresh cpu"));

    click(0);
    EXPECT_EQ(text("labVcore"), vcore);
    EXPECT_EQ(text("labCPUName"), QStringLiteral("fresh cpu"));
    EXPECT_EQ(station->historyModel()->rowCount(), 1);
    const QList<msg::Envelope> sent = tick();
    ASSERT_EQ(sent.size(), 2);
    EXPECT_EQ(sent[0].code, int(msg::KindCurrentSensors));
}

TEST_F(DisplayTest, ClickOnAnotherClientClearsLabelsAndHistory)
{
    startOffline();
    const QUuid a = addClient(QStringLiteral("A"));
    const QUuid b = QUuid::createUuid();
    station->handleInventory(inventoryReply(b, QStringLiteral("B"), QStringLiteral("cpu B")));
    click(0);
    station->handleCurrentSensors(sensorReply(a, {{"SenVcore", 1200}}));
    station->handleFaultHistory(faultReply(3, a, {}));
    ASSERT_EQ(text("labCPUName"), QStringLiteral("cpu"));

    click(1);
    EXPECT_EQ(station->selectedClient(), b);
    EXPECT_TRUE(text("labVcore").isEmpty());
    EXPECT_EQ(text("labCPUName"), QStringLiteral("cpu B"));
    EXPECT_EQ(station->historyModel()->rowCount(), 0);
    EXPECT_EQ(station->historyModel()->headerData(0, Qt::Horizontal).toString(), QStringLiteral("DateTime"));
}

TEST_F(DisplayTest, InventoryAddsANewClientOnceAndStoresItVerbatim)
{
    startOffline();
    const QUuid id = QUuid::createUuid();
    const QString name = QStringLiteral(R"(O'Brien "Lab" \ PC; DROP TABLE CLIENTINFO_TBL;--)");
    msg::Inventory inventory{name, QStringLiteral("cpu \"x\""), QStringLiteral("os 'y'"), QStringLiteral("model"),
                             QStringLiteral("serial"), QString()};
    const QJsonObject reply = parsed(msg::buildInventoryReply(id, inventory)).object;

    station->handleInventory(reply);
    station->handleInventory(reply);
    QAbstractItemModel* model = station->clientList().model();
    ASSERT_EQ(model->rowCount(), 1);
    EXPECT_EQ(model->index(0, 0).data().toString(), name);
    EXPECT_EQ(model->index(0, 0).data(ClientList::IdentityRole).toUuid(), id);
    EXPECT_FALSE(model->index(0, 1).data(Qt::DecorationRole).isValid());
    EXPECT_FALSE(model->index(0, 1).data(ClientList::LastSeenRole).isValid());
    EXPECT_EQ(writtenRows(*station, dir), QStringList{name + "|cpu \"x\"|os 'y'|model|serial|" + msg::uuidText(id)});

    // A later reply with another name updates the registry, not the list.
    station->handleInventory(inventoryReply(id, QStringLiteral("renamed")));
    EXPECT_EQ(model->index(0, 0).data().toString(), name);
    EXPECT_TRUE(writtenRows(*station, dir).first().startsWith(QStringLiteral("renamed|")));

    // Known after a restart.
    station.reset();
    startOffline();
    ASSERT_EQ(station->clientList().rowCount(), 1);
    EXPECT_EQ(station->clientList().identityAt(0), id);
}

TEST_F(DisplayTest, InventoryWithoutAUsableIdentityIsDropped)
{
    startOffline();
    const QUuid id = QUuid::createUuid();
    QJsonObject mismatched = inventoryReply(id, QStringLiteral("PC"));
    mismatched.insert(QStringLiteral("TUuid"), msg::uuidText(QUuid::createUuid()));
    QJsonObject noIdentity = inventoryReply(id, QStringLiteral("PC"));
    noIdentity.remove(QStringLiteral("TUuid"));
    const QJsonObject replies[] = {
        inventoryReply(msg::broadcastUuid(), QStringLiteral("everyone")),
        noIdentity,
        mismatched,
        QJsonObject{{"SrvCall", 4}, {"TUuid", "x"}, {"CurrDMI", QJsonArray{QJsonObject{{"Comp", "PC"}}}}},
    };
    for (const QJsonObject& reply : replies)
        station->handleInventory(reply);
    EXPECT_EQ(station->clientList().rowCount(), 0);
    EXPECT_TRUE(writtenRows(*station, dir).isEmpty());
}

TEST_F(DisplayTest, ResetEmptiesRegistryAndListAndAsksForInventories)
{
    startStation();
    const QUuid a = addClient(QStringLiteral("A"));
    addClient(QStringLiteral("B"));
    click(0);
    ASSERT_EQ(writtenRows(*station, dir).size(), 2);

    peer->clear();
    station->slot_btnClientResetClicked(false);
    EXPECT_TRUE(writtenRows(*station, dir).isEmpty());
    EXPECT_EQ(station->clientList().rowCount(), 0);
    EXPECT_EQ(station->clientList().model()->headerData(1, Qt::Horizontal).toString(), QStringLiteral("Status"));
    EXPECT_EQ(station->selectedClient(), a);
    ASSERT_TRUE(peer->waitForMessages(1, 5000));
    EXPECT_EQ(peer->payloads().first(), msg::buildRequest(msg::KindInventory, msg::broadcastUuid()));

    publishReply(msg::buildInventoryReply(a, msg::Inventory{QStringLiteral("A"), QStringLiteral("cpu A"), {}, {}, {}, {}}));
    EXPECT_EQ(station->clientList().rowCount(), 1);
    EXPECT_EQ(text("labCPUName"), QStringLiteral("cpu A"));
    EXPECT_EQ(writtenRows(*station, dir).size(), 1);
}

TEST_F(DisplayTest, RefreshClearsHistoryAndAsksForInventories)
{
    startStation();
    const QUuid id = addClient(QStringLiteral("A"));
    click(0);
    station->handleFaultHistory(faultReply(3, id, {}));
    peer->clear();
    station->slot_btnClientRefreshClicked(false);
    EXPECT_EQ(station->historyModel()->rowCount(), 0);
    ASSERT_TRUE(peer->waitForMessages(1, 5000));
    EXPECT_EQ(peer->payloads().first(), msg::buildRequest(msg::KindInventory, msg::broadcastUuid()));
    EXPECT_EQ(writtenRows(*station, dir).size(), 1);
}

TEST_F(DisplayTest, HistoryButtonAsksTheSelectedClient)
{
    startStation();
    auto* choice = widget<QComboBox>("cbHistoryInquiry");
    choice->setCurrentIndex(1);
    station->slot_btnHistoryInquiryClicked(false);
    EXPECT_EQ(tick().size(), 1); // nothing selected: only the presence request went out

    const QUuid id = addClient(QStringLiteral("PC"));
    click(0);
    tick();
    const struct {
        int index;
        int code;
    } choices[] = {{0, msg::KindLastFaults}, {1, msg::KindTodaysFaults}, {-1, msg::KindLastFaults}};
    for (const auto& c : choices) {
        choice->setCurrentIndex(c.index);
        station->slot_btnHistoryInquiryClicked(false);
        station->slot_TimerEvent();
        const QList<msg::Envelope> sent = requestsUntilPresence();
        ASSERT_EQ(sent.size(), 2) << c.index;
        EXPECT_EQ(sent[0].code, c.code) << c.index;
        EXPECT_EQ(msg::addressOf(sent[0].object), id);
    }
}

} // namespace
