#include "debugger_output.h"

#include <cstdio>

void debuggerOutput(const std::string& line)
{
    std::fwrite(line.data(), 1, line.size(), stderr);
    std::fflush(stderr);
}
