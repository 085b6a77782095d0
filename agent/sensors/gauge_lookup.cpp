#include "gauge_lookup.h"

namespace {

#ifdef _WIN32
constexpr const char* kLibraryFile = "Gauge64.dll";
#else
constexpr const char* kLibraryFile = "libGauge64.so";
#endif

} // namespace

std::vector<std::string> gaugeLibraryFiles(const std::string& programDirectory)
{
    const std::string file = kLibraryFile;
    return {programDirectory + "/" + file, programDirectory + "/" VRD_LIBDIR_FROM_BINDIR "/" + file, file};
}
