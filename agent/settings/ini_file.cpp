// SPDX-FileCopyrightText: The Varden developers
//
// SPDX-License-Identifier: GPL-2.0-or-later

#include "ini_file.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <climits>
#include <cstdlib>

namespace {

QByteArray beforeComment(const QByteArray& text)
{
    const int semicolon = text.indexOf(';');
    return semicolon < 0 ? text : text.left(semicolon);
}

bool holdsLineBreak(const QByteArray& text)
{
    return text.contains('\n') || text.contains('\r');
}

int readNumber(const QByteArray& text, int base)
{
    // QByteArray keeps its data NUL-terminated, as strtoll needs.
    const long long value = std::strtoll(text.constData(), nullptr, base);
    if (value > INT_MAX)
        return INT_MAX;
    if (value < INT_MIN)
        return INT_MIN;
    return int(value);
}

// A locked-down install may make the file's folder read-only and leave the file writable: no new
// file can appear beside it to be renamed over it, so writing in place is the only way to save.
bool onlyTheFileIsWritable(const QString& path)
{
    const QFileInfo file(path);
    return file.exists() && file.isWritable() && !QFileInfo(file.absolutePath()).isWritable();
}

// Unbuffered, so a short write (disk full, size limit) shows in write()'s result; a buffered
// QSaveFile would commit the truncated file.
bool openForSave(QSaveFile& file)
{
    constexpr QIODevice::OpenMode kMode = QIODevice::WriteOnly | QIODevice::Unbuffered;
    if (file.open(kMode))
        return true;
    if (!onlyTheFileIsWritable(file.fileName()))
        return false;
    static bool said = false; // saves run on the agent's main thread only
    if (!said)
        qWarning("%s: its folder is read-only, so it is written in place", qUtf8Printable(file.fileName()));
    said = true;
    file.setDirectWriteFallback(true);
    return file.open(kMode);
}

} // namespace

IniFile::LineKind iniLineKind(const QByteArray& text)
{
    const QByteArray head = beforeComment(text);
    if (head.contains('[') && head.contains(']'))
        return IniFile::LineKind::Section;
    if (head.contains('='))
        return IniFile::LineKind::Key;
    return IniFile::LineKind::Other;
}

int iniReadDecimal(const QByteArray& text)
{
    return readNumber(text, 10);
}

int iniReadAutoBase(const QByteArray& text)
{
    return readNumber(text, 0);
}

bool IniFile::load(const QString& path)
{
    clear();
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    const QByteArray content = file.readAll();
    if (file.error() != QFileDevice::NoError)
        return false;

    int start = 0;
    while (start < content.size()) {
        int end = content.indexOf('\n', start);
        const int next = end < 0 ? content.size() : end + 1;
        if (end < 0)
            end = content.size();
        QByteArray text = content.mid(start, end - start);
        if (text.endsWith('\r'))
            text.chop(1);
        m_lines.push_back({iniLineKind(text), text});
        start = next;
    }
    return true;
}

void IniFile::clear()
{
    m_lines.clear();
}

bool IniFile::save(const QString& path) const
{
    QByteArray content;
    for (const Line& line : m_lines)
        content += line.text + "\r\n";

    QSaveFile file(path);
    if (!openForSave(file))
        return false;
    if (file.write(content) != content.size()) {
        file.cancelWriting();
        return false;
    }
    return file.commit();
}

int IniFile::findSection(const QByteArray& name) const
{
    const QByteArray wanted = ('[' + name + ']').toUpper();
    for (size_t i = 0; i < m_lines.size(); ++i) {
        if (m_lines[i].kind == LineKind::Section && m_lines[i].text.toUpper() == wanted)
            return int(i);
    }
    return -1;
}

IniFile::KeyMatch IniFile::findKey(const QByteArray& section, const QByteArray& key) const
{
    KeyMatch match;
    match.sectionLine = findSection(section);
    if (match.sectionLine < 0)
        return match;

    const QByteArray wanted = key.toUpper();
    for (size_t i = size_t(match.sectionLine) + 1; i < m_lines.size(); ++i) {
        const Line& line = m_lines[i];
        if (line.kind == LineKind::Section)
            break;
        if (line.kind != LineKind::Key)
            continue;
        const QByteArray head = beforeComment(line.text);
        const int equals = head.indexOf('=');
        if (equals < 0 || head.left(equals).toUpper() != wanted)
            continue;
        match.keyLine = int(i);
        match.key = head.left(equals);
        match.value = head.mid(equals + 1);
        match.tail = line.text.mid(head.size());
        return match;
    }
    return match;
}

QString IniFile::getString(const QString& section, const QString& key, const QString& fallback) const
{
    if (section.isNull() || key.isNull())
        return fallback;
    const KeyMatch match = findKey(section.toUtf8(), key.toUtf8());
    return match.keyLine < 0 ? fallback : QString::fromUtf8(match.value);
}

bool IniFile::getBool(const QString& section, const QString& key, bool fallback) const
{
    if (section.isNull() || key.isNull())
        return fallback;
    const KeyMatch match = findKey(section.toUtf8(), key.toUtf8());
    return match.keyLine < 0 ? fallback : iniReadDecimal(match.value) != 0;
}

int IniFile::getInt(const QString& section, const QString& key, int fallback) const
{
    if (section.isNull() || key.isNull())
        return fallback;
    const KeyMatch match = findKey(section.toUtf8(), key.toUtf8());
    return match.keyLine < 0 ? fallback : iniReadAutoBase(match.value);
}

bool IniFile::contains(const QString& section, const QString& key) const
{
    return !section.isNull() && !key.isNull() && findKey(section.toUtf8(), key.toUtf8()).keyLine >= 0;
}

void IniFile::putString(const QString& section, const QString& key, const QString& value)
{
    if (section.isNull() || key.isNull() || value.isNull())
        return;
    const QByteArray s = section.toUtf8();
    const QByteArray k = key.toUtf8();
    const QByteArray v = value.toUtf8();
    if (holdsLineBreak(s) || holdsLineBreak(k) || holdsLineBreak(v))
        return;

    const KeyMatch match = findKey(s, k);
    if (match.keyLine >= 0) {
        const QByteArray text = match.key + '=' + v + match.tail;
        m_lines[size_t(match.keyLine)] = {iniLineKind(text), text};
        return;
    }
    const QByteArray keyLine = k + '=' + v;
    if (match.sectionLine >= 0) {
        m_lines.insert(m_lines.begin() + match.sectionLine + 1, {iniLineKind(keyLine), keyLine});
        return;
    }
    const QByteArray header = '[' + s + ']';
    m_lines.push_back({iniLineKind(header), header});
    m_lines.push_back({iniLineKind(keyLine), keyLine});
}

void IniFile::putBool(const QString& section, const QString& key, bool value)
{
    putString(section, key, value ? QStringLiteral("1") : QStringLiteral("0"));
}

void IniFile::putInt(const QString& section, const QString& key, int value)
{
    putString(section, key, QString::number(value));
}
