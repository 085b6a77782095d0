// SPDX-FileCopyrightText: The Varden developers
//
// SPDX-License-Identifier: GPL-2.0-or-later

#pragma once
// What the agent knows about its machine: gathered once at start-up through the
// system-information classes, shown on the System Information page, sent in inventory
// replies and cached in DMI_TBL.
//
// Start-up (agent.h):
//     Inventory inventory = gatherInventory();     // Agent::gatherInventory, before the database opens
//     ...labels from inventory.procName, .procId, .procLogicalProcessors, .osCaption,
//        .osVersion, .osBuildNumber
//     // Agent::openDatabase (dmi_table.h):
//     QUuid host = checkHostIdentity(db.connection(), *debugLog);
//     refreshInventoryTable(db.connection(), inventory, *debugLog);
// Inventory replies: "Comp" sysUser, "Cpu" procName, "OS" osCaption, "SysModel" sysModel,
// "SysSerial" sysSerial, "Uuid" hostIdentityText(host).

#include <QString>
#include <cstdint>
#include <functional>
#include <string>

struct Inventory {
    QString osCaption;
    QString osBuildNumber;
    QString osVersion;
    QString procName;
    QString procCaption;
    QString procId;
    int32_t procCores = 0;
    int32_t procLogicalProcessors = 0;
    QString sysManufacturer;
    QString sysModel;
    QString sysVersion;
    QString sysSerial;
    QString sysUser;
    QString sysMemorySize; // bytes, decimal text
    QString boardManufacturer;
    QString boardProduct;
    QString boardVersion;
    QString boardSerial;

    bool operator==(const Inventory& other) const;
};

// Signature of WmiQuery (platform/wmi); tests pass a reader of captured files.
using WmiQueryFunction = std::function<int(const std::string& className, const std::string& property, int kind,
                                           void* target)>;

// Queries the 18 fields in their fixed order, each with its own query. A field the system
// cannot supply stays empty (or 0). With several instances the last one's value is kept.
Inventory gatherInventory();
Inventory gatherInventory(const WmiQueryFunction& query);
