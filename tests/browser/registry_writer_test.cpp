// SPDX-FileCopyrightText: The Varden developers
//
// SPDX-License-Identifier: GPL-2.0-or-later

// The registry written on its own thread: every inventory stored verbatim, in the order given,
// a burst in few transactions, a reset after what came before it, nothing lost at the end.

#include "station_fixture.h"

#include "client_registry.h"
#include "registry_writer.h"

using namespace stationtest;

namespace {

msg::Inventory inventoryOf(int i, const QString& name)
{
    return {name, QStringLiteral("cpu"), QStringLiteral("os"), QStringLiteral("model"), QStringLiteral("serial"),
            msg::uuidText(QUuid(uint(i + 1), 0, 0x4000, 0x80, 0, 0, 0, 0, 0, 0, 0))};
}

class RegistryWriterTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ensureApplication();
        dir.writeRegistry({});
    }

    QString path() const { return dir.file(QStringLiteral("Client.sqlite")); }

    ProgramDir dir;
};

TEST_F(RegistryWriterTest, BurstIsStoredInFewTransactions)
{
    constexpr int kClients = 2000;
    RegistryWriter writer(path());
    for (int i = 0; i < kClients; ++i)
        writer.store(inventoryOf(i, QStringLiteral("PC-%1").arg(i)));
    writer.waitWritten();
    EXPECT_EQ(dir.registryRows().size(), kClients);
    EXPECT_LT(writer.batches(), quint64(kClients / 10)) << "one transaction per reply";
}

TEST_F(RegistryWriterTest, OrderIsKeptAcrossStoresAndResets)
{
    const QString hostile = QStringLiteral("<b>\"O'Brien\"</b>\x1b[31m; DROP TABLE CLIENTINFO_TBL;--");
    {
        RegistryWriter writer(path());
        writer.store(inventoryOf(1, QStringLiteral("before reset")));
        writer.removeAll();
        writer.store(inventoryOf(2, QStringLiteral("first name")));
        writer.store(inventoryOf(2, hostile)); // the later reply of the same client wins
    } // the destructor writes what is queued
    const QStringList rows = dir.registryRows();
    ASSERT_EQ(rows.size(), 1);
    EXPECT_EQ(rows.first(), hostile + QStringLiteral("|cpu|os|model|serial|") + inventoryOf(2, {}).uuid);
}

} // namespace
