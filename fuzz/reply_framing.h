// SPDX-FileCopyrightText: The Varden developers
//
// SPDX-License-Identifier: GPL-2.0-or-later

#pragma once
// How an input of fuzz_browser_reply becomes a reply payload; shared with the seed maker so the
// seeds are framed the way the target reads them.
//
// The first byte picks the frame: selector % 8 is the kind code 1 to 5 for a prefix
// {"SrvCall":k,"TUuid":"<identity>" followed by the rest of the input, any other value hands the
// rest on as the whole payload. (selector / 8) % 4 picks the identity: the selected client, a
// listed one, the broadcast identity, or a text that is no identity.

#include <QByteArray>
#include <QString>

namespace fuzzframe {

inline const char* const kSelected = "{5e1ec7ed-0000-4000-8000-000000000001}";
inline const char* const kListed = "{5e1ec7ed-0000-4000-8000-000000000002}";
inline const char* const kBroadcast = "{ffffffff-ffff-ffff-ffff-ffffffffffff}";
inline const char* const kNoIdentity = "x";

inline const char* identityOf(unsigned char selector)
{
    const char* const identities[] = {kSelected, kListed, kBroadcast, kNoIdentity};
    return identities[(selector / 8) % 4];
}

inline int kindOf(unsigned char selector)
{
    const int kind = selector % 8;
    return kind >= 1 && kind <= 5 ? kind : 0;
}

inline QByteArray payloadOf(const QByteArray& input)
{
    if (input.isEmpty())
        return {};
    const auto selector = static_cast<unsigned char>(input[0]);
    const QByteArray rest = input.mid(1);
    const int kind = kindOf(selector);
    if (kind == 0)
        return rest;
    return "{\"SrvCall\":" + QByteArray::number(kind) + ",\"TUuid\":\"" + identityOf(selector) + "\"" + rest;
}

} // namespace fuzzframe
