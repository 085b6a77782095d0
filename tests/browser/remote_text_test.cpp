// SPDX-FileCopyrightText: The Varden developers
//
// SPDX-License-Identifier: GPL-2.0-or-later

// Texts that any program on the broker can send, shown as the characters they are: hostile
// inventory texts in the labels (from a reply and from the registry), with size hints that stay
// those of one line of text, and in the client list and the fault history.

#include "station_fixture.h"

#include <QFontMetrics>
#include <QJsonArray>
#include <QLabel>
#include <QTreeView>

using namespace stationtest;

namespace {

struct HostileText {
    const char* name;
    QString sent;
    QString shown;
};

const QString kLong = QString(5000, QLatin1Char('W'));

const HostileText kHostileTexts[] = {
    {"bold", QStringLiteral("<b>bold</b>"), QStringLiteral("<b>bold</b>")},
    {"huge image", QStringLiteral("<img width=20000 height=20000 src=x>"),
     QStringLiteral("<img width=20000 height=20000 src=x>")},
    {"table", QStringLiteral("<table><tr><td>a</td><td>b</td></tr></table>"),
     QStringLiteral("<table><tr><td>a</td><td>b</td></tr></table>")},
    {"angle brackets in a name", QStringLiteral("Intel <Xeon> CPU"), QStringLiteral("Intel <Xeon> CPU")},
    {"entity", QStringLiteral("&lt;i&gt;"), QStringLiteral("&lt;i&gt;")},
    {"line breaks", QStringLiteral("one\ntwo\r\nthree\u2028four"), QStringLiteral("one two  three four")},
    // Direction marks would reorder the text around them: "abc" and then "exe.txt" shown reversed.
    {"right-to-left override", QStringLiteral("abc\u202etxt.exe"), QStringLiteral("abc[U+202E]txt.exe")},
    {"isolates and marks", QStringLiteral("\u2066a\u2069\u200fb\u200e"),
     QStringLiteral("[U+2066]a[U+2069][U+200F]b[U+200E]")},
    {"very long", kLong, kLong.left(msg::kMaxRemoteTextChars)},
};

constexpr const char* kInventoryLabels[] = {"labCPUName", "labOperatingSystem", "labSystemModel", "labSystemSerial"};

QJsonObject inventoryOf(const QUuid& id, const QString& name, const QString& text)
{
    msg::Inventory inventory;
    inventory.comp = name;
    inventory.cpu = inventory.os = inventory.sysModel = inventory.sysSerial = text;
    return parsed(msg::buildInventoryReply(id, inventory)).object;
}

class RemoteTextTest : public StationTest {
protected:
    void startOffline()
    {
        station = std::make_unique<Mainform>(dir.path());
        station->tickTimer()->stop();
    }

    // Labels as the window shows them: laid out at its own size.
    void expectShownAsText(const HostileText& c, const QSize& windowHintBefore)
    {
        for (const char* name : kInventoryLabels) {
            QLabel* label = widget<QLabel>(name);
            EXPECT_EQ(label->textFormat(), Qt::PlainText) << name;
            EXPECT_EQ(label->text(), c.shown) << name;
            QLabel oneLine(QStringLiteral("x"));
            oneLine.setFont(label->font());
            EXPECT_EQ(label->sizeHint().height(), oneLine.sizeHint().height()) << name;
            const int textWidth = QFontMetrics(label->font()).horizontalAdvance(c.shown);
            EXPECT_LE(label->sizeHint().width(), textWidth + oneLine.sizeHint().width()) << name;
        }
        // However long the text, the window does not grow to hold it.
        EXPECT_LE(station->minimumSizeHint().width(), windowHintBefore.width());
    }
};

TEST_F(RemoteTextTest, InventoryLabelsShowTheCharactersSent)
{
    startOffline();
    station->show();
    const QSize windowHint = station->minimumSizeHint();
    for (const HostileText& c : kHostileTexts) {
        SCOPED_TRACE(c.name);
        // From the registry, when the client is clicked...
        const QUuid id = QUuid::createUuid();
        station->handleInventory(inventoryOf(id, QStringLiteral("PC"), c.sent));
        click(station->clientList().rowOf(id));
        expectShownAsText(c, windowHint);
        // ...and from a reply while it is selected.
        station->handleInventory(inventoryOf(id, QStringLiteral("PC"), QStringLiteral("plain")));
        station->handleInventory(inventoryOf(id, QStringLiteral("PC"), c.sent));
        expectShownAsText(c, windowHint);
    }
}

TEST_F(RemoteTextTest, ClientListAndHistoryShowTheCharactersSentOnOneLine)
{
    startOffline();
    auto* list = widget<QTreeView>("tvClient");
    station->handleInventory(inventoryOf(QUuid::createUuid(), QStringLiteral("plain"), QStringLiteral("cpu")));
    const int oneRow = list->sizeHintForRow(0);
    for (const HostileText& c : kHostileTexts) {
        SCOPED_TRACE(c.name);
        const QUuid id = QUuid::createUuid();
        station->handleInventory(inventoryOf(id, c.sent, QStringLiteral("cpu")));
        const int row = station->clientList().rowOf(id);
        const QModelIndex name = station->clientList().model()->index(row, 0);
        EXPECT_EQ(name.data(Qt::DisplayRole).toString(), c.shown);
        EXPECT_FALSE(name.data(Qt::ToolTipRole).isValid());
        EXPECT_EQ(list->sizeHintForRow(row), oneRow);

        click(row);
        station->handleFaultHistory(
            faultReply(3, id, {QJsonObject{{"DT", "1709593440"}, {"MSG", c.sent}, {"TYPE", 0}}}));
        const QModelIndex condition = station->historyModel()->index(0, 1);
        EXPECT_EQ(condition.data(Qt::DisplayRole).toString(), c.shown);
        EXPECT_FALSE(condition.data(Qt::ToolTipRole).isValid());
    }
}

} // namespace
