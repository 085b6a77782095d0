// SPDX-FileCopyrightText: The Varden developers
//
// SPDX-License-Identifier: GPL-2.0-or-later

// The window's widget tree, texts, menu and About box.

#include "station_fixture.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QTableView>
#include <QTimer>
#include <QTreeView>

#include <tuple>

using namespace stationtest;

namespace {

class WindowTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ensureApplication();
        station = std::make_unique<Mainform>(dir.path());
    }

    QWidget* find(const char* name) const { return station->findChild<QWidget*>(QLatin1String(name)); }

    ProgramDir dir;
    std::unique_ptr<Mainform> station;
};

struct WidgetRow {
    const char* name;
    const char* className;
    const char* text; // text, title or caption; null: not checked
};

const WidgetRow kWidgets[] = {
    {"centralWidget", "QWidget", nullptr},
    {"tvClient", "QTreeView", nullptr},
    {"btnClientRefresh", "QPushButton", "Client Refresh"},
    {"btnClientReset", "QPushButton", "Client Reset"},
    {"gbSystemInfo", "QGroupBox", " System Information "},
    {"label", "QLabel", "CPU"},
    {"label_2", "QLabel", "Operating System"},
    {"label_3", "QLabel", "System Model (DMI)"},
    {"label_4", "QLabel", "System Serial (DMI)"},
    {"labCPUName", "QLabel", ""},
    {"labOperatingSystem", "QLabel", ""},
    {"labSystemModel", "QLabel", ""},
    {"labSystemSerial", "QLabel", ""},
    {"gbCurrentStatus", "QGroupBox", " Current Status "},
    {"label_9", "QLabel", "CPU Temperature"},
    {"label_12", "QLabel", "System Temperature"},
    {"label_14", "QLabel", "CPU Fan"},
    {"label_16", "QLabel", "System Fan"},
    {"label_18", "QLabel", "Vcore"},
    {"label_19", "QLabel", "Vio"},
    {"label_21", "QLabel", "+5V"},
    {"label_23", "QLabel", "+12V"},
    {"label_26", "QLabel", "-5V"},
    {"label_27", "QLabel", "-12V"},
    {"labCPUTemp", "QLabel", ""},
    {"labSysTemp", "QLabel", ""},
    {"labCPUFan", "QLabel", ""},
    {"labSysFan", "QLabel", ""},
    {"labVcore", "QLabel", ""},
    {"labVio", "QLabel", ""},
    {"labP5V", "QLabel", ""},
    {"labP12V", "QLabel", ""},
    {"labN5V", "QLabel", ""},
    {"labN12V", "QLabel", ""},
    {"gbHistoryInquiry", "QGroupBox", ""}, // inside the tab "Faults", which names it
    {"cbHistoryInquiry", "QComboBox", nullptr},
    {"btnHistoryInquiry", "QPushButton", "Query it now!"},
    {"tvHistoryInquiry", "QTableView", nullptr},
    {"menuBar", "QMenuBar", nullptr},
    {"menuAbout", "QMenu", "About"},
    {"statusBar", "QStatusBar", nullptr},
};

QString textOf(QWidget* widget)
{
    if (auto* label = qobject_cast<QLabel*>(widget))
        return label->text();
    if (auto* button = qobject_cast<QAbstractButton*>(widget))
        return button->text();
    if (auto* group = qobject_cast<QGroupBox*>(widget))
        return group->title();
    if (auto* menu = qobject_cast<QMenu*>(widget))
        return menu->title();
    return QString();
}

TEST_F(WindowTest, WidgetTreeHasTheNamedWidgetsWithTheirTexts)
{
    for (const WidgetRow& row : kWidgets) {
        QWidget* widget = find(row.name);
        ASSERT_NE(widget, nullptr) << row.name;
        EXPECT_TRUE(widget->inherits(row.className)) << row.name << " is " << widget->metaObject()->className();
        if (row.text) {
            EXPECT_EQ(textOf(widget), QString::fromUtf8(row.text)) << row.name;
        }
    }
}

TEST_F(WindowTest, WindowTitleSizeAndFont)
{
    EXPECT_EQ(station->objectName(), QStringLiteral("Mainform"));
    EXPECT_EQ(station->windowTitle(), QStringLiteral("Varden Browser"));
    EXPECT_EQ(station->size(), QSize(911, 700));
    EXPECT_EQ(station->font().family(), QStringLiteral("Century Gothic"));
    EXPECT_EQ(station->font().pointSize(), 10);
}

TEST_F(WindowTest, CaptionsAreBoldItalicAndValuesNormalRichText)
{
    for (const char* caption : {"label", "label_4", "label_9", "label_27"}) {
        const QFont font = find(caption)->font();
        EXPECT_TRUE(font.bold() && font.italic()) << caption;
    }
    for (const char* value : {"labCPUName", "labSystemSerial"})
        EXPECT_FALSE(find(value)->font().bold()) << value;
    for (const char* value : {"labCPUTemp", "labVcore", "labN12V"}) {
        auto* label = qobject_cast<QLabel*>(find(value));
        EXPECT_FALSE(label->font().bold()) << value;
        EXPECT_EQ(label->textFormat(), Qt::RichText) << value;
    }
    EXPECT_TRUE(find("gbSystemInfo")->font().bold());
    EXPECT_FALSE(qobject_cast<QGroupBox*>(find("gbSystemInfo"))->isCheckable());
}

TEST_F(WindowTest, ViewsAreReadOnlyWithTheHeaderStyle)
{
    const QString style = QStringLiteral("QHeaderView::section { background-color:rgb(85, 170, 255) }");
    auto* clients = qobject_cast<QTreeView*>(find("tvClient"));
    EXPECT_EQ(clients->minimumWidth(), 300);
    EXPECT_EQ(clients->styleSheet(), style);
    EXPECT_EQ(clients->frameShape(), QFrame::Panel);
    EXPECT_EQ(clients->horizontalScrollBarPolicy(), Qt::ScrollBarAlwaysOff);
    EXPECT_EQ(clients->editTriggers(), QAbstractItemView::NoEditTriggers);
    EXPECT_TRUE(clients->alternatingRowColors());
    EXPECT_EQ(clients->selectionBehavior(), QAbstractItemView::SelectItems);

    auto* history = qobject_cast<QTableView*>(find("tvHistoryInquiry"));
    EXPECT_EQ(history->styleSheet(), style);
    EXPECT_EQ(history->frameShape(), QFrame::Panel);
    EXPECT_EQ(history->horizontalScrollBarPolicy(), Qt::ScrollBarAlwaysOff);
    EXPECT_EQ(history->editTriggers(), QAbstractItemView::NoEditTriggers);
    EXPECT_TRUE(history->alternatingRowColors());
    EXPECT_EQ(history->selectionBehavior(), QAbstractItemView::SelectRows);
    EXPECT_TRUE(history->horizontalHeader()->isHidden());
    EXPECT_FALSE(history->font().bold());

    EXPECT_EQ(qobject_cast<QPushButton*>(find("btnClientRefresh"))->iconSize(), QSize(20, 20));
}

TEST_F(WindowTest, ModelsStartEmptyWithTheirHeaders)
{
    QAbstractItemModel* clients = station->clientList().model();
    EXPECT_EQ(clients->rowCount(), 0);
    ASSERT_EQ(clients->columnCount(), 3);
    EXPECT_EQ(clients->headerData(0, Qt::Horizontal).toString(), QStringLiteral("Name"));
    EXPECT_EQ(clients->headerData(1, Qt::Horizontal).toString(), QStringLiteral("Status"));
    EXPECT_EQ(clients->headerData(2, Qt::Horizontal).toString(), QStringLiteral("Health"));

    QStandardItemModel* history = station->historyModel();
    EXPECT_EQ(history->rowCount(), 0);
    ASSERT_EQ(history->columnCount(), 2);
    EXPECT_EQ(history->headerData(0, Qt::Horizontal).toString(), QStringLiteral("DateTime"));
    EXPECT_EQ(history->headerData(1, Qt::Horizontal).toString(), QStringLiteral("Condition"));
    EXPECT_EQ(qobject_cast<QTableView*>(find("tvHistoryInquiry"))->columnWidth(0), 200);
}

TEST_F(WindowTest, HistoryChoicesInOrder)
{
    auto* box = qobject_cast<QComboBox*>(find("cbHistoryInquiry"));
    ASSERT_EQ(box->count(), 2);
    EXPECT_EQ(box->itemText(0), QStringLiteral("Last 50 Errors"));
    EXPECT_EQ(box->itemText(1), QStringLiteral("Today's Error"));
    EXPECT_EQ(box->minimumWidth(), 200);
}

TEST_F(WindowTest, IconsAreCompiledIn)
{
    EXPECT_FALSE(station->onlineIcon().isNull());
    EXPECT_FALSE(station->offlineIcon().isNull());
    EXPECT_NE(station->onlineIcon().pixmap(16).toImage(), station->offlineIcon().pixmap(16).toImage());
    EXPECT_FALSE(QIcon(QStringLiteral(":/Mainform/icons/varden_browser.png")).isNull());
}

TEST_F(WindowTest, AboutEntryOpensTheAboutBox)
{
    auto* menu = qobject_cast<QMenu*>(find("menuAbout"));
    ASSERT_EQ(menu->actions().size(), 1);
    QAction* about = menu->actions().first();
    EXPECT_EQ(about->objectName(), QStringLiteral("actionAbout_this"));
    EXPECT_EQ(about->text(), QStringLiteral("About this"));
    EXPECT_TRUE(about->isEnabled());
    EXPECT_EQ(menu->font().family(), QStringLiteral("Century Gothic"));

    QString title;
    QString text;
    QWidget* parent = nullptr;
    QTimer::singleShot(0, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box)
            return;
        title = box->windowTitle();
        text = box->text();
        parent = box->parentWidget();
        box->accept();
    });
    about->trigger();
    EXPECT_EQ(title, QStringLiteral("About me"));
    EXPECT_TRUE(text.startsWith(QStringLiteral("<h2>Varden Browser 1.2</h2>"))) << text.toStdString();
    EXPECT_TRUE(text.contains(QStringLiteral("VrdClient")));
    EXPECT_TRUE(text.contains(QStringLiteral("It helps you to monitor the system health through internet.")));
    EXPECT_EQ(parent, station.get());
}

TEST_F(WindowTest, ButtonsAndClientListAreConnected)
{
    // A click on a row must reach the window: the clicked identity becomes the selected client.
    const QUuid id = QUuid::createUuid();
    station->handleInventory(inventoryReply(id, QStringLiteral("PC")));
    auto* clients = qobject_cast<QTreeView*>(find("tvClient"));
    emit clients->clicked(station->clientList().model()->index(0, 1));
    EXPECT_EQ(station->selectedClient(), id);

    // Client Reset empties the list.
    qobject_cast<QPushButton*>(find("btnClientReset"))->click();
    EXPECT_EQ(station->clientList().rowCount(), 0);
}

} // namespace

// The filter above the list finds a machine among many by name, identity or operating system
// as the operator types, in any case; the count beside it stays the whole fleet's.
TEST_F(WindowTest, FilterNarrowsTheListByNameIdentityOrSystem)
{
    const QUuid hall = QUuid(QStringLiteral("{0badc0de-0000-4000-8000-000000000001}"));
    const QUuid lab = QUuid::createUuid();
    const QUuid depot = QUuid::createUuid();
    for (const auto& [id, name, os] : {std::tuple{hall, "HALL\\PC-1", "Windows 10 Pro"},
                                       std::tuple{lab, "LAB\\pc-2", "Windows 11 Pro"},
                                       std::tuple{depot, "DEPOT\\PC-3", "Windows 7"}}) {
        msg::Inventory inventory{QLatin1String(name), {}, QLatin1String(os), {}, {}, {}};
        station->handleInventory(parsed(msg::buildInventoryReply(id, inventory)).object);
    }
    station->handlePresence(presenceReply(lab));
    station->slot_TimerEvent();

    auto* edit = qobject_cast<QLineEdit*>(find("leClientFilter"));
    auto* view = qobject_cast<QTreeView*>(find("tvClient"));
    ASSERT_NE(edit, nullptr);
    auto shown = [&] {
        QStringList names;
        for (int row = 0; row < view->model()->rowCount(); ++row)
            names << view->model()->index(row, 0).data().toString();
        return names;
    };
    struct Case {
        const char* typed;
        QStringList expected;
    };
    const Case cases[] = {
        {"", {"HALL\\PC-1", "LAB\\pc-2", "DEPOT\\PC-3"}},
        {"pc-2", {"LAB\\pc-2"}},
        {"  depot ", {"DEPOT\\PC-3"}},
        {"0BADC0DE", {"HALL\\PC-1"}},
        {"windows 1", {"HALL\\PC-1", "LAB\\pc-2"}},
        {"nothing like it", {}},
    };
    for (const Case& c : cases) {
        edit->setText(QLatin1String(c.typed));
        EXPECT_EQ(shown(), c.expected) << c.typed;
    }
    EXPECT_EQ(qobject_cast<QLabel*>(find("labClientCount"))->text(), QStringLiteral("1 online / 3 known"));

    // A click on a filtered row selects that machine.
    edit->setText(QStringLiteral("depot"));
    emit view->clicked(view->model()->index(0, 0));
    EXPECT_EQ(station->selectedClient(), depot);
}
