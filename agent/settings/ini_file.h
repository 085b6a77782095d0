// SPDX-FileCopyrightText: The Varden developers
//
// SPDX-License-Identifier: GPL-2.0-or-later

#pragma once
// Line-preserving reader and writer of the agent's settings file: a list of lines in file order,
// typed look-ups by section and key, in-place changes, and a write-back that keeps every line it
// was not asked to change (comments, blank lines, unknown sections and keys).

#include <QByteArray>
#include <QString>
#include <vector>

class IniFile {
public:
    enum class LineKind : unsigned char { Section = 1, Key = 2, Other = 3 };

    struct Line {
        LineKind kind;
        QByteArray text; // the whole line without its line ending, comment included
    };

    // Replaces the list with the lines of `path`. False (and an empty list) when the file cannot be
    // read; gets then return their defaults and puts build a new file from nothing.
    bool load(const QString& path);
    void clear();

    // Writes every line followed by CR LF into a new file beside `path` and renames it over the old
    // one, so a failed write leaves the old file intact. The list is kept either way. Only when the
    // folder is read-only and the file writable is the file written in place (said once on
    // standard error), as nothing can be renamed there.
    bool save(const QString& path) const;

    // Section and key names match without regard to letter case; nothing is trimmed. The first of
    // several sections with one name is the only one read or changed.
    QString getString(const QString& section, const QString& key, const QString& fallback) const;
    bool getBool(const QString& section, const QString& key, bool fallback) const;
    int getInt(const QString& section, const QString& key, int fallback) const;
    bool contains(const QString& section, const QString& key) const;

    // Changes the key line in place (keeping the key's spelling and its comment), or inserts it
    // directly after the section header, or appends the section and the key at the end. A null
    // argument, or one holding a line break, changes nothing.
    void putString(const QString& section, const QString& key, const QString& value);
    void putBool(const QString& section, const QString& key, bool value);
    void putInt(const QString& section, const QString& key, int value);

    const std::vector<Line>& lines() const { return m_lines; }

private:
    struct KeyMatch {
        int sectionLine = -1;
        int keyLine = -1;
        QByteArray key;   // as spelled in the file
        QByteArray value; // after the first '=', before any ';'
        QByteArray tail;  // from the first ';' to the end of the line, or empty
    };

    int findSection(const QByteArray& name) const;
    KeyMatch findKey(const QByteArray& section, const QByteArray& key) const;

    std::vector<Line> m_lines;
};

// Kind of one line, judged on the part before its first ';'.
IniFile::LineKind iniLineKind(const QByteArray& text);

// A value text read as a number: optional leading blanks and sign, then digits, stopping at the first
// other character; an empty or non-numeric text reads 0. Results beyond 32 bits saturate.
int iniReadDecimal(const QByteArray& text);
// The same with the base taken from the text: 0x gives hexadecimal, a leading 0 octal, else decimal.
int iniReadAutoBase(const QByteArray& text);
