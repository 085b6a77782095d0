// SPDX-FileCopyrightText: The Varden developers
//
// SPDX-License-Identifier: GPL-2.0-or-later

#include "inventory.h"
#include "wmi_query.h"

#include <tuple>

namespace {

using I = Inventory;

struct InventoryField {
    const char* className;
    const char* property;
    QString Inventory::*text; // null for a number
    int32_t Inventory::*number;
};

// Computer-system classes carry no serial number; the product class does.
const InventoryField kFields[] = {
    {"Win32_OperatingSystem", "Caption", &I::osCaption, nullptr},
    {"Win32_OperatingSystem", "BuildNumber", &I::osBuildNumber, nullptr},
    {"Win32_OperatingSystem", "Version", &I::osVersion, nullptr},
    {"Win32_Processor", "Name", &I::procName, nullptr},
    {"Win32_Processor", "Caption", &I::procCaption, nullptr},
    {"Win32_Processor", "ProcessorId", &I::procId, nullptr},
    {"Win32_Processor", "NumberOfCores", nullptr, &I::procCores},
    {"Win32_Processor", "NumberOfLogicalProcessors", nullptr, &I::procLogicalProcessors},
    {"Win32_ComputerSystem", "Manufacturer", &I::sysManufacturer, nullptr},
    {"Win32_ComputerSystem", "Model", &I::sysModel, nullptr},
    {"Win32_ComputerSystem", "Version", &I::sysVersion, nullptr},
    {"Win32_ComputerSystemProduct", "IdentifyingNumber", &I::sysSerial, nullptr},
    {"Win32_ComputerSystem", "UserName", &I::sysUser, nullptr},
    {"Win32_ComputerSystem", "TotalPhysicalMemory", &I::sysMemorySize, nullptr},
    {"Win32_BaseBoard", "Manufacturer", &I::boardManufacturer, nullptr},
    {"Win32_BaseBoard", "Product", &I::boardProduct, nullptr},
    {"Win32_BaseBoard", "Version", &I::boardVersion, nullptr},
    {"Win32_BaseBoard", "SerialNumber", &I::boardSerial, nullptr},
};

auto tied(const Inventory& i)
{
    return std::tie(i.osCaption, i.osBuildNumber, i.osVersion, i.procName, i.procCaption, i.procId, i.procCores,
                    i.procLogicalProcessors, i.sysManufacturer, i.sysModel, i.sysVersion, i.sysSerial, i.sysUser,
                    i.sysMemorySize, i.boardManufacturer, i.boardProduct, i.boardVersion, i.boardSerial);
}

} // namespace

bool Inventory::operator==(const Inventory& other) const
{
    return tied(*this) == tied(other);
}

Inventory gatherInventory()
{
    return gatherInventory(WmiQuery);
}

Inventory gatherInventory(const WmiQueryFunction& query)
{
    Inventory inventory;
    for (const InventoryField& field : kFields) {
        if (field.number) {
            query(field.className, field.property, kWmiInt32, &(inventory.*field.number));
            continue;
        }
        std::string text;
        query(field.className, field.property, kWmiText, &text);
        inventory.*field.text = QString::fromStdString(text);
    }
    return inventory;
}
