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

// A switch is the check mark of a group box or a check box; its slot follows the user's click only,
// so setting it from code calls nothing.
struct SwitchWidget {
    const char* name;
    uint8_t S::*field;
    void (Mainform::*slot)(bool);
};

// A limit is a spin box; its slot follows every value change, the clamping of code changes included.
struct LimitWidget {
    const char* name;
    int16_t S::*field;
    void (Mainform::*slot)(int);
};

using SettingWidget = std::variant<SwitchWidget, LimitWidget>;

// In the order in which start-up pushes the settings into the widgets.
const SettingWidget kSettingWidgets[] = {
    SwitchWidget{"gbVore", &S::CBVcore, &Mainform::slot_cbVcoreChanged},
    LimitWidget{"sbVcoreHi", &S::Vcore_Hi, &Mainform::slot_sbVcoreHiChanged},
    LimitWidget{"sbVcoreLo", &S::Vcore_Lo, &Mainform::slot_sbVcoreLoChanged},
    SwitchWidget{"gbVio", &S::CBVio, &Mainform::slot_cbVioChanged},
    LimitWidget{"sbVioHi", &S::Vio_Hi, &Mainform::slot_sbVioHiChanged},
    LimitWidget{"sbVioLo", &S::Vio_Lo, &Mainform::slot_sbVioLoChanged},
    SwitchWidget{"gbP5V", &S::CB5V, &Mainform::slot_cbP5VChanged},
    LimitWidget{"sbP5VHi", &S::P5V_Hi, &Mainform::slot_sbP5VHiChanged},
    LimitWidget{"sbP5VLo", &S::P5V_Lo, &Mainform::slot_sbP5VLoChanged},
    SwitchWidget{"gbP12V", &S::CB12V, &Mainform::slot_cbP12VChanged},
    LimitWidget{"sbP12VHi", &S::P12V_Hi, &Mainform::slot_sbP12VHiChanged},
    LimitWidget{"sbP12VLo", &S::P12V_Lo, &Mainform::slot_sbP12VLoChanged},
    SwitchWidget{"gbN5V", &S::CBN5V, &Mainform::slot_cbN5VChanged},
    LimitWidget{"sbN5VHi", &S::N5V_Hi, &Mainform::slot_sbN5VHiChanged},
    LimitWidget{"sbN5VLo", &S::N5V_Lo, &Mainform::slot_sbN5VLoChanged},
    SwitchWidget{"gbN12V", &S::CBN12V, &Mainform::slot_cbN12VChanged},
    LimitWidget{"sbN12VHi", &S::N12V_Hi, &Mainform::slot_sbN12VHiChanged},
    LimitWidget{"sbN12VLo", &S::N12V_Lo, &Mainform::slot_sbN12VLoChanged},
    SwitchWidget{"cbProcTemp", &S::CBCPUTemp, &Mainform::slot_cbProcTempChanged},
    LimitWidget{"sbProcTemp", &S::CPUTemp_Hi, &Mainform::slot_sbProcTempChanged},
    SwitchWidget{"cbProcFan", &S::CBCPUFan, &Mainform::slot_cbProcFanChanged},
    LimitWidget{"sbProcFan", &S::FAN1_Lo, &Mainform::slot_sbProcFanChanged},
    SwitchWidget{"cbSysTemp", &S::CBSYSTemp, &Mainform::slot_cbSysTempChanged},
    LimitWidget{"sbSysTemp", &S::SYSTemp_Hi, &Mainform::slot_sbSysTempChanged},
    SwitchWidget{"cbSysFan", &S::CBSYSFan, &Mainform::slot_cbSysFanChanged},
    LimitWidget{"sbSysFan", &S::FAN2_Lo, &Mainform::slot_sbSysFanChanged},
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
                           QWidget* widget = findChild<QWidget*>(w.name);
                           if (auto* box = qobject_cast<QGroupBox*>(widget))
                               connect(box, &QGroupBox::clicked, this, w.slot);
                           else if (auto* button = qobject_cast<QAbstractButton*>(widget))
                               connect(button, &QAbstractButton::clicked, this, w.slot);
                       },
                       [this](const LimitWidget& w) {
                           connect(findChild<QSpinBox*>(w.name), qOverload<int>(&QSpinBox::valueChanged), this,
                                   w.slot);
                       },
                   },
                   row);
    }
}

// A spin box clamps a pushed value into its range and reports a change through its slot: a stored
// limit above the maximum becomes the maximum in the snapshot (and in the file on the next tick),
// while one below the minimum leaves a box already at its minimum silent, so the snapshot keeps it.
void Mainform::pushSettingsToWidgets()
{
    for (const SettingWidget& row : kSettingWidgets) {
        std::visit(Overloaded{
                       [this](const SwitchWidget& w) {
                           setSwitchChecked(findChild<QWidget*>(w.name), m_snapshot.*w.field != 0);
                       },
                       [this](const LimitWidget& w) { findChild<QSpinBox*>(w.name)->setValue(m_snapshot.*w.field); },
                   },
                   row);
    }
}

void Mainform::storeSwitch(uint8_t S::*field, bool on)
{
    m_snapshot.*field = on ? 1 : 0;
    m_settingsChanged = true;
}

void Mainform::storeLimit(int16_t S::*field, int value)
{
    m_snapshot.*field = int16_t(value);
    m_settingsChanged = true;
}

void Mainform::slot_cbVcoreChanged(bool on)
{
    storeSwitch(&S::CBVcore, on);
}

void Mainform::slot_cbVioChanged(bool on)
{
    storeSwitch(&S::CBVio, on);
}

void Mainform::slot_cbP5VChanged(bool on)
{
    storeSwitch(&S::CB5V, on);
}

void Mainform::slot_cbP12VChanged(bool on)
{
    storeSwitch(&S::CB12V, on);
}

void Mainform::slot_cbN5VChanged(bool on)
{
    storeSwitch(&S::CBN5V, on);
}

void Mainform::slot_cbN12VChanged(bool on)
{
    storeSwitch(&S::CBN12V, on);
}

void Mainform::slot_cbProcTempChanged(bool on)
{
    storeSwitch(&S::CBCPUTemp, on);
}

void Mainform::slot_cbProcFanChanged(bool on)
{
    storeSwitch(&S::CBCPUFan, on);
}

void Mainform::slot_cbSysTempChanged(bool on)
{
    storeSwitch(&S::CBSYSTemp, on);
}

void Mainform::slot_cbSysFanChanged(bool on)
{
    storeSwitch(&S::CBSYSFan, on);
}

void Mainform::slot_sbVcoreHiChanged(int value)
{
    storeLimit(&S::Vcore_Hi, value);
}

void Mainform::slot_sbVcoreLoChanged(int value)
{
    storeLimit(&S::Vcore_Lo, value);
}

void Mainform::slot_sbVioHiChanged(int value)
{
    storeLimit(&S::Vio_Hi, value);
}

void Mainform::slot_sbVioLoChanged(int value)
{
    storeLimit(&S::Vio_Lo, value);
}

void Mainform::slot_sbP5VHiChanged(int value)
{
    storeLimit(&S::P5V_Hi, value);
}

void Mainform::slot_sbP5VLoChanged(int value)
{
    storeLimit(&S::P5V_Lo, value);
}

void Mainform::slot_sbP12VHiChanged(int value)
{
    storeLimit(&S::P12V_Hi, value);
}

void Mainform::slot_sbP12VLoChanged(int value)
{
    storeLimit(&S::P12V_Lo, value);
}

void Mainform::slot_sbN5VHiChanged(int value)
{
    storeLimit(&S::N5V_Hi, value);
}

void Mainform::slot_sbN5VLoChanged(int value)
{
    storeLimit(&S::N5V_Lo, value);
}

void Mainform::slot_sbN12VHiChanged(int value)
{
    storeLimit(&S::N12V_Hi, value);
}

void Mainform::slot_sbN12VLoChanged(int value)
{
    storeLimit(&S::N12V_Lo, value);
}

void Mainform::slot_sbProcTempChanged(int value)
{
    storeLimit(&S::CPUTemp_Hi, value);
}

void Mainform::slot_sbProcFanChanged(int value)
{
    storeLimit(&S::FAN1_Lo, value);
}

void Mainform::slot_sbSysTempChanged(int value)
{
    storeLimit(&S::SYSTemp_Hi, value);
}

void Mainform::slot_sbSysFanChanged(int value)
{
    storeLimit(&S::FAN2_Lo, value);
}
