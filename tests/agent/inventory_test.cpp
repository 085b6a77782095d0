// SPDX-FileCopyrightText: The Varden developers
//
// SPDX-License-Identifier: GPL-2.0-or-later

#include "client_database.h"
#include "debug_log.h"
#include "dmi_table.h"
#include "inventory.h"
#include "store_test_support.h"
#include "wmi_linux.h"

#include <QDir>
#include <QFile>

using storetest::query;
using storetest::Row;
using storetest::scalar;

namespace {

const QString kFixtures = QStringLiteral(VRD_SOURCE_DIR "/tests/platform/fixtures/wmi/");

wmi::SystemSources xeonSources()
{
    wmi::SystemSources s;
    s.procRoot = (kFixtures + "xeon-2s/proc").toStdString();
    s.dmiRoot = (kFixtures + "xeon-2s/dmi").toStdString();
    s.osReleasePath = (kFixtures + "xeon-2s/os-release").toStdString();
    s.cpuSignature = [] { return std::make_optional(std::make_pair(0xBFEBFBFFu, 0x00050657u)); };
    return s;
}

Inventory gatherFrom(const wmi::SystemSources& sources)
{
    wmi::LinuxWmi system(sources);
    return gatherInventory([&system](const std::string& c, const std::string& p, int kind, void* target) {
        return system.query(c, p, kind, target);
    });
}

class InventoryTest : public storetest::TempFiles {};

TEST_F(InventoryTest, GathersEveryFieldFromTheSystem)
{
    const Inventory i = gatherFrom(xeonSources());
    EXPECT_EQ("Ubuntu 22.04.3 LTS", i.osCaption);
    EXPECT_EQ("#101-Ubuntu SMP Tue Nov 14 13:30:08 UTC 2023", i.osBuildNumber);
    EXPECT_EQ("5.15.0-91-generic", i.osVersion);
    EXPECT_EQ("Intel(R) Xeon(R) Gold 5218 CPU @ 2.30GHz", i.procName);
    EXPECT_EQ("x86_64 Family 6 Model 85 Stepping 7", i.procCaption); // the second package
    EXPECT_EQ("BFEBFBFF00050657", i.procId);
    EXPECT_EQ(2, i.procCores);
    EXPECT_EQ(4, i.procLogicalProcessors);
    EXPECT_EQ("Supermicro", i.sysManufacturer);
    EXPECT_EQ("SYS-7049GP-TRT", i.sysModel);
    EXPECT_EQ("0123456789", i.sysVersion);
    EXPECT_EQ("", i.sysSerial); // root-only on the captured machine
    EXPECT_EQ("bench-07\\root", i.sysUser);
    EXPECT_EQ("67320811520", i.sysMemorySize);
    EXPECT_EQ("Supermicro", i.boardManufacturer);
    EXPECT_EQ("X11DPG-QT", i.boardProduct);
    EXPECT_EQ("1.02", i.boardVersion);
    EXPECT_EQ("VM19BS012345", i.boardSerial);
}

TEST_F(InventoryTest, SerialNumberComesFromTheProductSerial)
{
    const QString dmi = dir.filePath("dmi");
    QDir().mkpath(dmi);
    QFile serial(dmi + "/product_serial");
    ASSERT_TRUE(serial.open(QIODevice::WriteOnly));
    serial.write("S4N-0042\n");
    serial.close();
    wmi::SystemSources sources = xeonSources();
    sources.dmiRoot = dmi.toStdString();
    const Inventory i = gatherFrom(sources);
    EXPECT_EQ("S4N-0042", i.sysSerial);
    EXPECT_EQ("", i.boardSerial);
}

TEST_F(InventoryTest, NothingAvailableLeavesEveryFieldEmpty)
{
    const Inventory i = gatherInventory([](const std::string&, const std::string&, int, void*) { return 1; });
    EXPECT_EQ(Inventory{}, i);
}

// A client start on a machine: open the database, check the identity, refresh the table.
class HostTableTest : public storetest::TempFiles {
protected:
    QString path() const { return file(ClientDatabase::kFileName); }
    struct Start {
        QUuid identity;
        int updates = 0;
        std::vector<std::string> lines;
    };
    Start start(const Inventory& inventory)
    {
        Start result;
        DebugLog log([&result](const std::string& line) { result.lines.push_back(line); });
        ClientDatabase database(path(), uniqueName());
        database.openWithMaintenance(log, QDate(2024, 3, 5));
        result.lines.clear();
        result.identity = checkHostIdentity(database.connection(), log);
        result.updates = refreshInventoryTable(database.connection(), inventory, log);
        return result;
    }
    std::string stored(const char* column) const
    {
        return scalar(path(), std::string("SELECT ") + column + " FROM DMI_TBL WHERE ID = 1;");
    }
    static std::vector<std::string> checkerLines(const Start& s)
    {
        std::vector<std::string> out;
        for (const std::string& line : s.lines)
            if (line.rfind("[Mainform::DMIChecker,", 0) == 0)
                out.push_back(line.substr(line.find("+---> ") + 6));
        return out;
    }

    Inventory machine = gatherFrom(xeonSources());
};

TEST_F(HostTableTest, FirstRunCreatesTheIdentityAndWritesEveryKnownColumn)
{
    const Start first = start(machine);
    ASSERT_FALSE(first.identity.isNull());
    EXPECT_EQ(first.identity.toString().toUpper().toStdString(), stored("HOST_GUID"));
    ASSERT_FALSE(first.lines.empty());
    EXPECT_EQ(0u, first.lines[0].rfind("[Mainform::Mainform,line_", 0));
    EXPECT_NE(std::string::npos, first.lines[0].find("] +---> illegal host uuid. createing the new one\r\n"));

    // All but SYS_SERIAL, which the machine does not reveal.
    EXPECT_EQ(14, first.updates);
    EXPECT_EQ(14u, checkerLines(first).size());
    EXPECT_EQ("UPDATE DMI_TBL SET PROC_NAME = \"Intel(R) Xeon(R) Gold 5218 CPU @ 2.30GHz\" WHERE ID = 1;\r\n",
              checkerLines(first)[0]);
    EXPECT_EQ("UPDATE DMI_TBL SET PROC_CORES = 2 WHERE ID = 1;\r\n", checkerLines(first)[2]);
    const std::vector<Row> row = query(path(), "SELECT PROC_NAME, PROC_CAPTION, PROC_CORES, PROC_LOGIPROC, PROC_ID, "
                                               "SYS_MANUF, SYS_MODEL, SYS_VER, SYS_SERIAL, SYS_MEMSIZE, SYS_USER, "
                                               "BRD_MANUF, BRD_PROD, BRD_VER, BRD_SERIAL FROM DMI_TBL;");
    const Row expected = {"Intel(R) Xeon(R) Gold 5218 CPU @ 2.30GHz", "x86_64 Family 6 Model 85 Stepping 7", "2", "4",
                          "BFEBFBFF00050657", "Supermicro", "SYS-7049GP-TRT", "0123456789", "<null>", "67320811520",
                          "bench-07\\root", "Supermicro", "X11DPG-QT", "1.02", "VM19BS012345"};
    EXPECT_EQ(std::vector<Row>{expected}, row);
}

TEST_F(HostTableTest, UnchangedMachineIssuesNoUpdate)
{
    const Start first = start(machine);
    const Start second = start(machine);
    EXPECT_EQ(first.identity, second.identity);
    EXPECT_EQ(0, second.updates);
    EXPECT_TRUE(second.lines.empty());
}

TEST_F(HostTableTest, AnotherUserUpdatesOnlyTheUserColumn)
{
    start(machine);
    machine.sysUser = "bench-07\\alice";
    const Start second = start(machine);
    EXPECT_EQ(1, second.updates);
    EXPECT_EQ(std::vector<std::string>{"UPDATE DMI_TBL SET SYS_USER = \"bench-07\\alice\" WHERE ID = 1;\r\n"},
              checkerLines(second));
    EXPECT_EQ("bench-07\\alice", stored("SYS_USER"));
}

TEST_F(HostTableTest, TextWithQuotesAndBackslashesIsStoredVerbatim)
{
    machine.boardProduct = "X11 \"Pro\" O'Neil \\ edition";
    const Start first = start(machine);
    EXPECT_EQ("X11 \"Pro\" O'Neil \\ edition", stored("BRD_PROD"));
    EXPECT_EQ(0, start(machine).updates);
}

TEST_F(HostTableTest, StoredIdentityIsKeptOnlyWhenItIsABracedUuid)
{
    struct Case {
        const char* stored;
        bool kept;
    };
    const Case cases[] = {
        {"{0123ABCD-4567-89EF-0123-456789ABCDEF}", true},
        {"{0123abcd-4567-89ef-0123-456789abcdef}", true},
        {"  {0123ABCD-4567-89EF-0123-456789ABCDEF}\n", true},
        {"0123ABCD-4567-89EF-0123-456789ABCDEF", false},
        {"{0123ABCD-4567-89EF-0123-456789ABCDEX}", false},
        {"{0123ABCD-4567-89EF-0123-456789ABCDEF}trailing", false},
        {"{not a uuid}", false},
        {"{00000000-0000-0000-0000-000000000000}", false},
        {"", false},
    };
    start(machine);
    for (const Case& c : cases) {
        storetest::execute(path(), std::string("UPDATE DMI_TBL SET HOST_GUID = '") + c.stored + "' WHERE ID = 1;");
        const Start s = start(machine);
        ASSERT_FALSE(s.identity.isNull()) << c.stored;
        if (c.kept) {
            EXPECT_EQ(QUuid("{0123abcd-4567-89ef-0123-456789abcdef}"), s.identity) << c.stored;
            EXPECT_EQ(c.stored, stored("HOST_GUID"));
            EXPECT_TRUE(s.lines.empty()) << c.stored;
        } else {
            EXPECT_EQ(s.identity.toString().toUpper().toStdString(), stored("HOST_GUID")) << c.stored;
            ASSERT_EQ(1u, s.lines.size()) << c.stored;
            EXPECT_NE(std::string::npos, s.lines[0].find("illegal host uuid. createing the new one"));
        }
    }
}

TEST_F(HostTableTest, IdentityTravelsAsBracedLowerCase)
{
    EXPECT_EQ("{0123abcd-4567-89ef-0123-456789abcdef}",
              hostIdentityText(QUuid("{0123ABCD-4567-89EF-0123-456789ABCDEF}")));
}

TEST_F(HostTableTest, MissingRowOneChangesNothing)
{
    start(machine);
    storetest::execute(path(), "DELETE FROM DMI_TBL;");
    const Start s = start(machine);
    EXPECT_FALSE(s.identity.isNull());
    EXPECT_EQ(14, s.updates); // each differs from the empty reading, none finds a row
    EXPECT_EQ("0", scalar(path(), "SELECT COUNT(*) FROM DMI_TBL;"));
}

TEST_F(HostTableTest, CheckerComparesNumbersAsNumbersAndIgnoresOtherKinds)
{
    start(machine);
    DebugLog quiet([](const std::string&) {});
    ClientDatabase database(path(), uniqueName());
    database.openWithMaintenance(quiet, QDate(2024, 3, 5));
    EXPECT_FALSE(DMIChecker(database.connection(), quiet, "PROC_CORES", QVariant(2)));
    EXPECT_TRUE(DMIChecker(database.connection(), quiet, "PROC_CORES", QVariant(3)));
    EXPECT_FALSE(DMIChecker(database.connection(), quiet, "PROC_CORES", QVariant(3.5)));
    EXPECT_TRUE(DMIChecker(database.connection(), quiet, "SYS_VER", QVariant(QString("0123456789 "))));
    database.close();
    EXPECT_EQ("3", stored("PROC_CORES"));
    EXPECT_EQ("0123456789 ", stored("SYS_VER"));
}

} // namespace
