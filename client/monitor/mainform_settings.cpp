// SPDX-FileCopyrightText: The Varden developers
//
// SPDX-License-Identifier: GPL-2.0-or-later

#include "mainform.h"

#include <QAbstractButton>
#include <QGroupBox>
#include <QSpinBox>
#include <variant>

namespace {

using S = SensorSnapshot;

// A switch is the check mark of a group box or a check box; it follows the user's click only,
// so setting it from code changes nothing.
struct SwitchWidget {
    const char* name;
    uint8_t S::*field;
};

// A limit is a spin box; it follows every value change, the clamping of code changes included.
struct LimitWidget {
    const char* name;
    int16_t S::*field;
};

using SettingWidget = std::variant<SwitchWidget, LimitWidget>;

// In the order in which start-up pushes the settings into the widgets.
const SettingWidget kSettingWidgets[] = {
    SwitchWidget{"gbVore", &S::CBVcore},       LimitWidget{"sbVcoreHi", &S::Vcore_Hi},
    LimitWidget{"sbVcoreLo", &S::Vcore_Lo},    SwitchWidget{"gbVio", &S::CBVio},
    LimitWidget{"sbVioHi", &S::Vio_Hi},        LimitWidget{"sbVioLo", &S::Vio_Lo},
    SwitchWidget{"gbP5V", &S::CB5V},           LimitWidget{"sbP5VHi", &S::P5V_Hi},
    LimitWidget{"sbP5VLo", &S::P5V_Lo},        SwitchWidget{"gbP12V", &S::CB12V},
    LimitWidget{"sbP12VHi", &S::P12V_Hi},      LimitWidget{"sbP12VLo", &S::P12V_Lo},
    SwitchWidget{"gbN5V", &S::CBN5V},          LimitWidget{"sbN5VHi", &S::N5V_Hi},
    LimitWidget{"sbN5VLo", &S::N5V_Lo},        SwitchWidget{"gbN12V", &S::CBN12V},
    LimitWidget{"sbN12VHi", &S::N12V_Hi},      LimitWidget{"sbN12VLo", &S::N12V_Lo},
    SwitchWidget{"cbProcTemp", &S::CBCPUTemp}, LimitWidget{"sbProcTemp", &S::CPUTemp_Hi},
    SwitchWidget{"cbProcFan", &S::CBCPUFan},   LimitWidget{"sbProcFan", &S::FAN1_Lo},
    SwitchWidget{"cbSysTemp", &S::CBSYSTemp},  LimitWidget{"sbSysTemp", &S::SYSTemp_Hi},
    SwitchWidget{"cbSysFan", &S::CBSYSFan},    LimitWidget{"sbSysFan", &S::FAN2_Lo},
};

template <class... F> struct Overloaded : F... {
    using F::operator()...;
};
template <class... F> Overloaded(F...) -> Overloaded<F...>;

void setSwitchChecked(QWidget* widget, bool on)
{
    if (auto* box = qobject_cast<QGroupBox*>(widget))
        box->setChecked(on);
    else if (auto* button = qobject_cast<QAbstractButton*>(widget))
        button->setChecked(on);
}

} // namespace

void Mainform::connectSettingWidgets()
{
    for (const SettingWidget& row : kSettingWidgets) {
        std::visit(Overloaded{
                       [this](const SwitchWidget& w) {
                           const auto store = [this, field = w.field](bool on) { m_agent.setSwitch(field, on); };
                           QWidget* widget = findChild<QWidget*>(w.name);
                           if (auto* box = qobject_cast<QGroupBox*>(widget))
                               connect(box, &QGroupBox::clicked, this, store);
                           else if (auto* button = qobject_cast<QAbstractButton*>(widget))
                               connect(button, &QAbstractButton::clicked, this, store);
                       },
                       [this](const LimitWidget& w) {
                           connect(findChild<QSpinBox*>(w.name), qOverload<int>(&QSpinBox::valueChanged), this,
                                   [this, field = w.field](int value) { m_agent.setLimit(field, value); });
                       },
                   },
                   row);
    }
}

// A spin box clamps a pushed value into its range and reports a change to the agent: a stored
// limit above the maximum becomes the maximum in the snapshot (and in the file on the next tick),
// while one below the minimum leaves a box already at its minimum silent, so the snapshot keeps it.
void Mainform::pushSettingsToWidgets()
{
    const SensorSnapshot& snapshot = m_agent.snapshot();
    for (const SettingWidget& row : kSettingWidgets) {
        std::visit(Overloaded{
                       [&](const SwitchWidget& w) {
                           setSwitchChecked(findChild<QWidget*>(w.name), snapshot.*w.field != 0);
                       },
                       [&](const LimitWidget& w) { findChild<QSpinBox*>(w.name)->setValue(snapshot.*w.field); },
                   },
                   row);
    }
}
