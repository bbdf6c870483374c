// kestrow-mkbench ROOT LAYOUT FILES BYTES: writes one encrypted backup (password "bench") of FILES
// files holding BYTES bytes in all, for the extraction benchmark. LAYOUT is "mbdb" or "current".
// Files are written one at a time, so memory stays small whatever the size.
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <iostream>
#include <string>

#include "support/backup_writer.h"
#include "support/crypto_writer.h"

using namespace kestrow::test;

namespace {

// File sizes spread evenly between a fifth and 1.8 times the mean (a golden-ratio sequence), the
// content a window into one random block.
class TContent {
public:
    TContent(std::size_t files, std::uint64_t bytes)
        : FMean(static_cast<double>(bytes) / static_cast<double>(files)),
          FBlock(TTestRandom(42).Text(1 << 22)) {}
    std::string operator()(std::size_t i) const {
        const double spread = std::fmod(static_cast<double>(i) * 0.6180339887, 1.0);
        const auto size = static_cast<std::size_t>(FMean * (0.2 + 1.6 * spread));
        std::string out;
        out.reserve(size);
        std::size_t at = (i * 7919) % FBlock.size();
        while (out.size() < size) {
            const std::size_t take = std::min(size - out.size(), FBlock.size() - at);
            out.append(FBlock, at, take);
            at = 0;
        }
        return out;
    }

private:
    double FMean;
    std::string FBlock;
};

} // namespace

int main(int argc, char** argv) {
    if (argc != 5) {
        std::cerr << "usage: kestrow-mkbench ROOT mbdb|current FILES BYTES\n";
        return 64;
    }
    const std::string layout = argv[2];
    const std::size_t files = std::strtoull(argv[3], nullptr, 10);
    const std::uint64_t bytes = std::strtoull(argv[4], nullptr, 10);
    TBackupPlan plan;
    plan.FolderName = "bench-" + layout;
    plan.DeviceName = "Bench Phone";
    plan.Encrypted = true;
    plan.Password = "bench";
    plan.Iterations = 10000;
    if (layout == "current") {
        plan.Layout = TLayout::ManifestDb;
        plan.KeyBagVersion = 4;
        plan.DoubleIterations = 10000;
    }
    plan.Files.reserve(files);
    for (std::size_t i = 0; i < files; ++i) {
        const bool media = i % 5 != 0;
        plan.Files.emplace_back(
            media ? "CameraRollDomain" : "HomeDomain",
            media ? "Media/DCIM/" + std::to_string(100 + i / 1000) + "APPLE/IMG_" + std::to_string(i) + ".JPG"
                  : "Library/Data/" + std::to_string(i % 97) + "/item" + std::to_string(i) + ".dat",
            "");
    }
    plan.Generate = TContent(files, bytes);
    try {
        std::cout << WriteBackup(argv[1], plan) << '\n';
    } catch (const std::exception& e) {
        std::cerr << "kestrow-mkbench: " << e.what() << '\n';
        return 1;
    }
    return 0;
}
