// SPDX-FileCopyrightText: The Varden developers
//
// SPDX-License-Identifier: GPL-2.0-or-later

// The first look at a reply: size and nesting decide before any parsing work.

#include "messages.h"
#include "reply_screen.h"

#include <gtest/gtest.h>

namespace {

QByteArray nested(int depth)
{
    return QByteArray(depth, '[') + QByteArray(depth, ']');
}

struct ScreenCase {
    const char* name;
    QByteArray payload;
    bool worthParsing;
};

TEST(ReplyScreen, DropsOversizedAndDeeplyNestedPayloadsOnly)
{
    const QByteArray padding = R"({"SrvCall":4,"pad":")";
    const auto sized = [&](int size) { return padding + QByteArray(size - padding.size() - 2, 'x') + "\"}"; };
    const ScreenCase cases[] = {
        {"a presence reply", msg::buildLoadReply(QUuid::createUuid(), 7), true},
        {"a full fault reply",
         msg::buildFaultReply(msg::KindLastFaults, QUuid::createUuid(), QVector<msg::FaultRecord>(50, {8, 80, 1})), true},
        {"largest allowed size", sized(msg::kMaxPayloadBytes), true},
        {"one byte over", sized(msg::kMaxPayloadBytes + 1), false},
        {"nesting at the limit", nested(reply_screen::kMaxNesting), true},
        {"one level deeper", nested(reply_screen::kMaxNesting + 1), false},
        {"20,000 brackets", nested(20000), false},
        {"brackets inside a string do not count", "{\"Comp\":\"" + QByteArray(100, '[') + "\"}", true},
        {"an escaped quote does not end the string", R"({"Comp":"a\"[[[[[[[[[[[[\""})", true},
        {"unbalanced closing brackets", QByteArray(50, ']') + nested(3), true},
        {"text that is not JSON", "not JSON at all", true},
        {"empty", QByteArray(), true},
    };
    for (const ScreenCase& c : cases)
        EXPECT_EQ(reply_screen::worthParsing(c.payload), c.worthParsing) << c.name;
}

} // namespace
