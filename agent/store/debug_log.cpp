// SPDX-FileCopyrightText: The Varden developers
//
// SPDX-License-Identifier: GPL-2.0-or-later

#include "debug_log.h"
#include "debugger_output.h"

#include <sqlite3.h>

namespace {

constexpr const char* kCreateTable =
    "CREATE TABLE DBGMSG_TBL(DATE_TIME DATETIME,TYPE_ID INT,FILENAME TEXT, LINE INT, HINT TEXT);";
constexpr const char* kStartingRow =
    "INSERT INTO DBGMSG_TBL (DATE_TIME, TYPE_ID, HINT) VALUES (DATETIME('NOW', 'LOCALTIME'), 0, 'Starting');";
constexpr const char* kEndingRow =
    "INSERT INTO DBGMSG_TBL (DATE_TIME, TYPE_ID, HINT) VALUES (DATETIME('NOW', 'LOCALTIME'), 3, 'Ending');";
constexpr const char* kMessageRow = "INSERT INTO DBGMSG_TBL (DATE_TIME, TYPE_ID, FILENAME, LINE, HINT) "
                                    "VALUES (DATETIME('NOW', 'LOCALTIME'), ?1, ?2, ?3, ?4);";

// Empty text is stored as '' rather than NULL.
void bindText(sqlite3_stmt* statement, int index, std::string_view text)
{
    sqlite3_bind_text(statement, index, text.empty() ? "" : text.data(), int(text.size()), SQLITE_TRANSIENT);
}

} // namespace

void DebugLog::standardError(const std::string& line)
{
    debuggerOutput(line);
}

DebugLog::DebugLog(Sink sink)
    : m_sink(std::move(sink))
{
}

DebugLog::DebugLog(const std::string& fileName, Sink sink)
    : m_fileName(fileName)
    , m_sink(std::move(sink))
{
    if (!open())
        close();
}

DebugLog::~DebugLog()
{
    if (m_db)
        exec(kEndingRow);
    close();
}

std::unique_ptr<DebugLog> DebugLog::forSwitch(bool debugOn, const std::string& directory, Sink sink)
{
    if (!debugOn)
        return std::make_unique<DebugLog>(std::move(sink));
    const std::string path = directory.empty() ? kFileName : directory + "/" + kFileName;
    return std::make_unique<DebugLog>(path, std::move(sink));
}

// An existing file is used as it is; only a new one gets the table.
bool DebugLog::open()
{
    if (sqlite3_open_v2(m_fileName.c_str(), &m_db, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK) {
        close();
        if (sqlite3_open_v2(m_fileName.c_str(), &m_db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr)
                != SQLITE_OK
            || !exec(kCreateTable))
            return false;
    }
    return exec(kStartingRow);
}

bool DebugLog::exec(const char* statement)
{
    char* error = nullptr;
    const bool done = sqlite3_exec(m_db, statement, nullptr, nullptr, &error) == SQLITE_OK;
    sqlite3_free(error);
    return done;
}

void DebugLog::close()
{
    sqlite3_close(m_db);
    m_db = nullptr;
}

std::string DebugLog::debuggerLine(std::string_view location, int line, std::string_view text)
{
    std::string out;
    out.reserve(location.size() + text.size() + 32);
    out += '[';
    out += location;
    out += ",line_" + std::to_string(line) + "] +---> ";
    out += text;
    out += "\r\n";
    return out;
}

void DebugLog::Write(std::string_view location, int line, int type, std::string_view text)
{
    if (m_sink)
        m_sink(debuggerLine(location, line, text));
    if (!m_db)
        return;
    sqlite3_stmt* insert = nullptr;
    if (sqlite3_prepare_v2(m_db, kMessageRow, -1, &insert, nullptr) == SQLITE_OK) {
        sqlite3_bind_int(insert, 1, type);
        bindText(insert, 2, location);
        sqlite3_bind_int(insert, 3, line);
        bindText(insert, 4, text);
        sqlite3_step(insert); // a failed row is dropped; the next message tries again
    }
    sqlite3_finalize(insert);
}
