#pragma once
// Failures that keep a link from the broker whatever the retry does (a refused login, a broker
// certificate that is not trusted, unusable TLS settings) are told on standard error: one line
// per failure for the whole process, not one per link or per retry. Once any link connects, what
// was told is forgotten, so the same failure is told again should it come back.
//
// Safe to call from any thread.

#include <QString>

void tellLinkFailure(const QString& line);
void forgetLinkFailures();
