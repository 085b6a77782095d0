// SPDX-FileCopyrightText: The Varden developers
//
// SPDX-License-Identifier: GPL-2.0-or-later

// The settings file: IniFile on the input's bytes (it can be read only from a file, so each input
// is written once to a memory-backed directory), the typed get and put routines, save and reload,
// then the client's own loadSettings and saveSettings on the same file, and the station's reading
// of its broker settings (QSettings) from the input as written.
//
// Properties: what was loaded and saved reloads to the same lines; a value put is read back as
// put; the client's settings saved and loaded again are the settings it saved.

#include "agent_settings.h"
#include "broker_settings.h"
#include "ini_file.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QString>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <unistd.h>

namespace {

QString s_input;
QString s_saved;

[[noreturn]] void fail(const char* property)
{
    std::fprintf(stderr, "%s\n", property);
    std::abort();
}

void writeInput(const QByteArray& bytes)
{
    QFile file(s_input);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(bytes) != bytes.size())
        fail("cannot write the input file");
}

bool sameLines(const IniFile& a, const IniFile& b)
{
    if (a.lines().size() != b.lines().size())
        return false;
    for (size_t i = 0; i < a.lines().size(); ++i)
        if (a.lines()[i].kind != b.lines()[i].kind || a.lines()[i].text != b.lines()[i].text)
            return false;
    return true;
}

// Every key of the client's table read through each typed get, as loadSettings does.
void readEveryKey(const IniFile& ini)
{
    for (const SettingKey& row : settingKeys()) {
        const QString section = QString::fromLatin1(row.section);
        const QString key = QString::fromLatin1(row.key);
        ini.getString(section, key, settingDefault(row));
        ini.getBool(section, key, false);
        ini.getInt(section, key, -1);
    }
}

// A value the line format can carry back: no line break, no comment, and not a text that turns
// its key line into a section header (a '[' and a ']' on one line).
bool carriable(const QString& value)
{
    return !value.contains(QLatin1Char('\n')) && !value.contains(QLatin1Char('\r'))
        && !value.contains(QLatin1Char(';'))
        && !(value.contains(QLatin1Char('[')) && value.contains(QLatin1Char(']')));
}

void putAndReadBack(IniFile& ini, const QByteArray& input)
{
    const std::vector<SettingKey>& keys = settingKeys();
    const SettingKey& row = keys[size_t(uchar(input.isEmpty() ? 0 : input[0])) % keys.size()];
    const QString section = QString::fromLatin1(row.section);
    const QString key = QString::fromLatin1(row.key);
    const QString value = QString::fromUtf8(input.split('\n').last());
    ini.putString(section, key, value);
    if (carriable(value) && ini.getString(section, key, QStringLiteral("\x01")) != value)
        fail("a value put is not read back");
    ini.putInt(section, key, input.size() - 300);
    if (ini.getInt(section, key, 0) != input.size() - 300)
        fail("a number put is not read back");
    ini.putBool(section, key, input.size() % 2 == 1);
    if (ini.getBool(section, key, input.size() % 2 == 0) != (input.size() % 2 == 1))
        fail("a switch put is not read back");
}

bool sameSavedSettings(const SensorSnapshot& a, const SensorSnapshot& b)
{
    for (const SettingKey& row : settingKeys()) {
        if (!row.saved)
            continue;
        if (const auto* flag = std::get_if<uint8_t SensorSnapshot::*>(&row.field); flag && a.**flag != b.**flag)
            return false;
        if (const auto* limit = std::get_if<int16_t SensorSnapshot::*>(&row.field); limit && a.**limit != b.**limit)
            return false;
    }
    return true;
}

void checkSettings()
{
    SensorSnapshot loaded;
    BrokerSettings broker;
    ExportSettings exports;
    loadSettings(s_input, loaded, broker, exports);
    SensorSnapshot changed = loaded;
    changed.CPUTemp_Hi = int16_t(loaded.CPUTemp_Hi + 1);
    changed.CBN12V = loaded.CBN12V ? 0 : 1;
    if (!saveSettings(s_input, changed))
        fail("settings could not be saved");
    SensorSnapshot reloaded;
    BrokerSettings brokerAgain;
    ExportSettings exportsAgain;
    loadSettings(s_input, reloaded, brokerAgain, exportsAgain);
    if (!sameSavedSettings(changed, reloaded))
        fail("saved settings do not load back");
    if (broker.host != brokerAgain.host || broker.port != brokerAgain.port || broker.enable != brokerAgain.enable
        || broker.hqToken != brokerAgain.hqToken || broker.channel != brokerAgain.channel)
        fail("saving the settings changed the broker keys");
    if (exports.prometheusDir != exportsAgain.prometheusDir)
        fail("saving the settings changed the export keys");
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    const QString dir = QDir(QStringLiteral("/dev/shm")).exists() ? QStringLiteral("/dev/shm") : QDir::tempPath();
    s_input = QStringLiteral("%1/vrd-fuzz-ini-%2.ini").arg(dir).arg(getpid());
    s_saved = QStringLiteral("%1/vrd-fuzz-ini-%2.saved.ini").arg(dir).arg(getpid());
    std::atexit([] {
        QFile::remove(s_input);
        QFile::remove(s_saved);
    });
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray input(reinterpret_cast<const char*>(data), int(size));
    writeInput(input);
    // The port's range is its own rule; what matters here is no fault.
    readBrokerSettingsFile(s_input, BrokerDefaults::None);

    IniFile ini;
    if (!ini.load(s_input))
        fail("a written file cannot be loaded");
    readEveryKey(ini);
    if (!ini.save(s_saved))
        fail("cannot save");
    IniFile again;
    if (!again.load(s_saved) || !sameLines(ini, again))
        fail("loaded and saved lines do not reload the same");

    putAndReadBack(again, input);
    checkSettings();
    return 0;
}
