// SPDX-FileCopyrightText: The Varden developers
//
// SPDX-License-Identifier: GPL-2.0-or-later

#pragma once
// Failures that keep a link from the broker whatever the retry does (a refused login, a broker
// certificate that is not trusted, unusable TLS settings, a refused TLS handshake) are told on
// standard error: one line per kind of failure for the whole process, not one per link, per
// retry or per wording. The kind is what went wrong ("broker 192.0.2.1:8883: TLS with the broker
// failed"); the detail is what the broker or OpenSSL said about it, which may differ between two
// attempts refused alike: TLS 1.3 refuses a missing client certificate with an alert, or, when
// the broker's reset overtakes the alert, with a bare loss of the connection. The first detail
// is told. Once any link connects, what was told is forgotten, so the same failure is told again
// should it come back.
//
// Safe to call from any thread.

#include <QString>

// Prints "<program>: <kind>: <detail>" (or "<program>: <kind>" without a detail), unless a
// failure of this kind was told since the last forgetLinkFailures().
void tellLinkFailure(const QString& kind, const QString& detail = QString());
void forgetLinkFailures();
