#include "mainform_labels.h"

QString readingLabelText(ReadingUnit unit, int value)
{
    switch (unit) {
    case ReadingUnit::Millivolts:
        return QString::asprintf("<B>%2.3fV</B>", value / 1000.0);
    case ReadingUnit::Degrees:
        return QString::asprintf("<B>%2d 'C</B>", value);
    case ReadingUnit::Rpm:
        return QString::asprintf("<B>%5d RPM</B>", value);
    }
    return QString();
}
