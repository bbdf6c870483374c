#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>

namespace kestrow {

// Progress of long work on stderr. On a terminal one line is redrawn, at most ten times a second;
// elsewhere a line per tenth of the work keeps logs short.
class TProgressLine {
public:
    TProgressLine();
    // Records of an export: shown on a terminal only, without bytes.
    explicit TProgressLine(const char* records);
    void Show(std::size_t done, std::size_t total, std::uint64_t bytes);
    void Finish();
    // Seconds since the line was made.
    double Elapsed() const;

private:
    bool FTerminal;
    const char* FRecords = nullptr; // set for exports
    bool FDrawn = false;
    std::chrono::steady_clock::time_point FStart;
    std::chrono::steady_clock::time_point FLastDraw;
};

} // namespace kestrow
