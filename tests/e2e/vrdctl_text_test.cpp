// SPDX-FileCopyrightText: The Varden developers
//
// SPDX-License-Identifier: GPL-2.0-or-later

// vrdctl against a hostile agent: any program on the broker can answer in an agent's name, with
// texts full of terminal control sequences. On a terminal they must show as visible escapes;
// as JSON they must stay valid and mean exactly what was sent, with no control byte left raw.

#include "messages.h"
#include "qt_test_loop.h"
#include "test_broker.h"
#include "test_mqtt_client.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>

#include <gtest/gtest.h>

namespace {

const QString kChannel = QStringLiteral("HOSTILE");
const QUuid kAgent = QUuid(QStringLiteral("{0badc0de-0000-4000-8000-000000000001}"));

// Window title (OSC ... BEL), clear screen and cursor moves (CSI), a C1 CSI, DEL, line breaks.
const QString kName = QStringLiteral("evil\x1b]0;owned\x07name");
const QString kCpu = QStringLiteral("Intel\x1b[2J <Xeon>\r\nCPU");
const QString kOs = QStringLiteral("os\u009b31mred\x7f");
const QString kFault = QStringLiteral("Vcore\x1b[1A\x1b[2K = 1 V");

QByteArray inventoryReply()
{
    msg::Inventory inventory;
    inventory.comp = kName;
    inventory.cpu = kCpu;
    inventory.os = kOs;
    return msg::buildInventoryReply(kAgent, inventory);
}

QByteArray faultReply(int code)
{
    const QJsonObject fault{{"DT", "1709593440"}, {"MSG", kFault}, {"TYPE", 0}};
    return QJsonDocument(QJsonObject{{"SrvCall", code}, {"TUuid", msg::uuidText(kAgent)}, {"Err50", QJsonArray{fault}}})
        .toJson(QJsonDocument::Compact);
}

// A byte a terminal may obey: C0 other than the line feed, DEL, and C1 as UTF-8 (0xC2 0x80..0x9F).
bool holdsRawControl(const QByteArray& out)
{
    for (int i = 0; i < out.size(); ++i) {
        const auto byte = static_cast<unsigned char>(out[i]);
        const auto next = i + 1 < out.size() ? static_cast<unsigned char>(out[i + 1]) : 0;
        if ((byte < 0x20 && byte != '\n') || byte == 0x7f || (byte == 0xc2 && next >= 0x80 && next <= 0x9f))
            return true;
    }
    return false;
}

class VrdctlHostileAgent : public testing::Test {
protected:
    void SetUp() override
    {
        vrdtest::ensureCoreApplication();
        ASSERT_TRUE(broker.start()) << broker.output().toStdString();
        ASSERT_TRUE(agent.connectToBroker());
        ASSERT_TRUE(agent.subscribe(msg::requestTopic(kChannel)));
    }

    // Runs vrdctl and answers every request it sends as the hostile agent.
    QByteArray vrdctl(const QStringList& arguments)
    {
        QProcess process;
        process.start(QStringLiteral(VRD_BIN_DIR "/vrdctl"),
                      QStringList{"--port", QString::number(broker.port()), "--channel", kChannel, "--timeout",
                                  "3000"} + arguments);
        int answered = 0;
        vrdtest::waitUntil(
            [&] {
                const QList<QByteArray> requests = agent.payloads();
                for (; answered < requests.size(); ++answered)
                    answer(requests[answered]);
                return process.state() == QProcess::NotRunning;
            },
            20000);
        process.waitForFinished(1000);
        return process.readAllStandardOutput();
    }

    void answer(const QByteArray& request)
    {
        const std::optional<msg::Envelope> asked = msg::parseMessage(request);
        if (!asked)
            return;
        if (asked->code == msg::KindInventory)
            agent.publish(msg::replyTopic(kChannel), inventoryReply());
        else if (asked->code == msg::KindProcessorLoad)
            agent.publish(msg::replyTopic(kChannel), msg::buildLoadReply(kAgent, 7));
        else if (asked->code == msg::KindLastFaults)
            agent.publish(msg::replyTopic(kChannel), faultReply(asked->code));
    }

    vrdtest::TestBroker broker;
    vrdtest::TestMqttClient agent{broker.port()};
};

TEST_F(VrdctlHostileAgent, TerminalOutputShowsControlCharactersAsEscapes)
{
    const struct {
        QStringList arguments;
        QStringList shown;
    } cases[] = {
        {{"list"},
         {"evil\\x1b]0;owned\\x07name", "Intel\\x1b[2J <Xeon>\\x0d\\x0aCPU", "os\\x9b31mred\\x7f"}},
        {{"faults", msg::uuidText(kAgent)}, {"Vcore\\x1b[1A\\x1b[2K = 1 V"}},
    };
    for (const auto& c : cases) {
        const QByteArray out = vrdctl(c.arguments);
        SCOPED_TRACE(out.toStdString());
        EXPECT_FALSE(holdsRawControl(out));
        for (const QString& shown : c.shown)
            EXPECT_TRUE(QString::fromUtf8(out).contains(shown)) << shown.toStdString();
    }
}

TEST_F(VrdctlHostileAgent, JsonOutputStaysValidAndKeepsTheTexts)
{
    const QByteArray list = vrdctl({"--json", "list"});
    EXPECT_FALSE(holdsRawControl(list)) << list.toStdString();
    QJsonParseError error;
    const QJsonArray rows = QJsonDocument::fromJson(list, &error).array();
    ASSERT_EQ(error.error, QJsonParseError::NoError) << list.toStdString();
    ASSERT_EQ(rows.size(), 1);
    EXPECT_EQ(rows[0].toObject().value("name").toString(), kName);
    EXPECT_EQ(rows[0].toObject().value("cpu").toString(), kCpu);
    EXPECT_EQ(rows[0].toObject().value("os").toString(), kOs);

    const QByteArray faults = vrdctl({"--json", "faults", msg::uuidText(kAgent)});
    EXPECT_FALSE(holdsRawControl(faults)) << faults.toStdString();
    const QJsonArray entries = QJsonDocument::fromJson(faults, &error).object().value("faults").toArray();
    ASSERT_EQ(error.error, QJsonParseError::NoError) << faults.toStdString();
    ASSERT_EQ(entries.size(), 1);
    EXPECT_EQ(entries[0].toObject().value("text").toString(), kFault);
}

} // namespace
