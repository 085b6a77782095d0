// SPDX-FileCopyrightText: The Varden developers
//
// SPDX-License-Identifier: GPL-2.0-or-later

#pragma once
// A simulated board for one test: the JSON goes to a temporary file named by GAUGE64_BOARD,
// and every driver call is traced to a temporary file named by GAUGE64_TRACE. The library
// picks both up at its next DLLInitial.

#include <QTemporaryDir>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "gauge64.h"

class BoardFixture {
public:
    explicit BoardFixture(const std::string& json)
    {
        boardPath_ = dir_.filePath("board.json").toStdString();
        tracePath_ = dir_.filePath("trace.log").toStdString();
        write(json);
        qputenv("GAUGE64_BOARD", boardPath_.c_str());
        qputenv("GAUGE64_TRACE", tracePath_.c_str());
    }
    ~BoardFixture()
    {
        DLLRelease();
        qunsetenv("GAUGE64_BOARD");
        qunsetenv("GAUGE64_TRACE");
    }

    void write(const std::string& json) const { std::ofstream(boardPath_, std::ios::trunc) << json; }

    std::vector<std::string> trace() const
    {
        std::vector<std::string> lines;
        std::ifstream in(tracePath_);
        for (std::string line; std::getline(in, line);)
            lines.push_back(line);
        return lines;
    }

    void clearTrace() const { std::ofstream(tracePath_, std::ios::trunc); }

    // Trace lines that start with `prefix`.
    std::vector<std::string> traced(const std::string& prefix) const
    {
        std::vector<std::string> matching;
        for (const std::string& line : trace())
            if (line.compare(0, prefix.size(), prefix) == 0)
                matching.push_back(line);
        return matching;
    }

    const std::string& boardPath() const { return boardPath_; }

private:
    QTemporaryDir dir_;
    std::string boardPath_;
    std::string tracePath_;
};
