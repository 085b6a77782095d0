// SPDX-FileCopyrightText: The Varden developers
//
// SPDX-License-Identifier: GPL-2.0-or-later

#pragma once
// Every wire key of the protocol, in one place: the envelope, the payload keys of each kind and
// the keys inside them. Only the message module's own units include this; everyone else builds
// and reads messages through messages.h and history_messages.h.

namespace msg::keys {

// Envelope, in every request and reply.
constexpr char kCode[] = "SrvCall";
constexpr char kIdentity[] = "TUuid";
// Top level of presence and inventory replies: 1 when the agent reads its own request topic.
constexpr char kOwnTopic[] = "OwnTopic";

// The payload key of each reply kind.
constexpr char kSensors[] = "CurrSensor";
constexpr char kLoad[] = "CurrProc";
constexpr char kFaults[] = "Err50";
constexpr char kInventory[] = "CurrDMI";
constexpr char kHistory[] = "History";

// Inside "CurrProc".
constexpr char kUsage[] = "Usage";

// Inside each "Err50" entry.
constexpr char kFaultType[] = "TYPE";
constexpr char kFaultText[] = "MSG";
constexpr char kFaultTime[] = "DT";

// Inside "CurrDMI".
constexpr char kComputer[] = "Comp";
constexpr char kProcessor[] = "Cpu";
constexpr char kSystem[] = "OS";
constexpr char kModel[] = "SysModel";
constexpr char kSerial[] = "SysSerial";
constexpr char kInventoryIdentity[] = "Uuid";

// The history request, and inside "History".
constexpr char kType[] = "Type";
constexpr char kFrom[] = "From";
constexpr char kTo[] = "To";
constexpr char kPoints[] = "Points";
constexpr char kStep[] = "Step";

} // namespace msg::keys
