// SPDX-FileCopyrightText: The Varden developers
//
// SPDX-License-Identifier: GPL-2.0-or-later

#pragma once
// The agent's debug-message log. Every message goes to the debugger output (OutputDebugString on
// Windows, standard error on Linux: platform/session/debugger_output.h) as
// "[location,line_N] +---> text\r\n"; the active log also keeps it as a row of DBGMSG_TBL in its
// own SQLite file, between a "Starting" and an "Ending" row.
//
// Main thread only. Messages of any length and content are accepted and stored verbatim.

#include <functional>
#include <memory>
#include <string>
#include <string_view>

struct sqlite3;

class DebugLog {
public:
    enum Type { Opened = 0, Info = 1, Failure = 2, Closed = 3 };

    static constexpr const char* kFileName = "DbgMainThread.sqlite";

    // Receives each formatted debugger line, "\r\n" included.
    using Sink = std::function<void(const std::string& line)>;
    // The platform's debugger output.
    static void standardError(const std::string& line);

    // Inactive log: debugger lines only, no file.
    explicit DebugLog(Sink sink = standardError);
    // Active log on `fileName` (created with its table when missing). A file that cannot be
    // opened or set up leaves the log inactive.
    explicit DebugLog(const std::string& fileName, Sink sink = standardError);
    // Writes the "Ending" row and closes the file.
    ~DebugLog();

    DebugLog(const DebugLog&) = delete;
    DebugLog& operator=(const DebugLog&) = delete;

    // The log for the settings' debug switch: active on kFileName (in the working
    // directory, or in `directory` when given) when on, inactive when off.
    static std::unique_ptr<DebugLog> forSwitch(bool debugOn, const std::string& directory = {},
                                               Sink sink = standardError);

    // location: "Mainform::Mainform"; line: __LINE__ of the report; type: Info or Failure.
    void Write(std::string_view location, int line, int type, std::string_view text);

    bool isActive() const { return m_db != nullptr; }

    static std::string debuggerLine(std::string_view location, int line, std::string_view text);

private:
    bool open();
    bool exec(const char* statement);
    void close();

    std::string m_fileName;
    sqlite3* m_db = nullptr;
    Sink m_sink;
};
