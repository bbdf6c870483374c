#include "cli/progress_line.h"

#include <iostream>
#include <unistd.h>

#include <fmt/format.h>

namespace kestrow {

namespace {

constexpr auto kRedraw = std::chrono::milliseconds(100);

} // namespace

TProgressLine::TProgressLine()
    : FTerminal(::isatty(STDERR_FILENO) != 0), FStart(std::chrono::steady_clock::now()), FLastDraw(FStart) {}

TProgressLine::TProgressLine(const char* records) : TProgressLine() {
    FRecords = records;
}

void TProgressLine::Show(std::size_t done, std::size_t total, std::uint64_t bytes) {
    if (FTerminal) {
        const auto now = std::chrono::steady_clock::now();
        if (done != total && now - FLastDraw < kRedraw) {
            return;
        }
        FLastDraw = now;
        FDrawn = true;
        std::cerr << (FRecords != nullptr ? fmt::format("\r{} {}/{}", FRecords, done, total)
                                          : fmt::format("\rfiles {}/{}, {} bytes", done, total, bytes))
                  << std::flush;
        return;
    }
    if (FRecords != nullptr) {
        return;
    }
    const std::size_t step = total >= 10 ? total / 10 : 1;
    if (done % step == 0 || done == total) {
        std::cerr << fmt::format("files {}/{}, {} bytes\n", done, total, bytes) << std::flush;
    }
}

void TProgressLine::Finish() {
    if (FTerminal && FDrawn) {
        std::cerr << '\n';
    }
}

double TProgressLine::Elapsed() const {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - FStart).count();
}

} // namespace kestrow
