// Counts the platform calls a piece of code makes, and optionally the time spent in them, by
// pointing the program's own import table at counting wrappers. Calls that the system makes
// internally are not seen; every call of the engine or the benchmark through the import table is.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

namespace vestrand::bench {

struct ApiCalls {
    std::string Name;
    int64_t Calls = 0;
    double Seconds = 0; // only with timing on
};

// Installs the wrappers (once; later calls only switch timing). Returns the number of import
// slots redirected.
int InstallCallCounter(bool withTimes);
void ResetCallCounts();
// The functions called at least once since the last reset, most time (or most calls) first.
std::vector<ApiCalls> CallCounts();
int64_t CallCount(const std::string& name);

} // namespace vestrand::bench
