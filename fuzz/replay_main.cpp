// Runs a fuzz target over every file of the given folders, and over truncations and byte flips of each,
// so that the targets run as ordinary tests (under the sanitizers of the asan preset) without libFuzzer.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

namespace {

void RunOne(const std::string& input) {
    LLVMFuzzerTestOneInput(reinterpret_cast<const std::uint8_t*>(input.data()), input.size());
}

void RunWithMutations(const std::string& input, std::mt19937& random) {
    RunOne(input);
    const std::size_t step = input.size() > 512 ? input.size() / 256 : 1;
    for (std::size_t cut = 0; cut < input.size(); cut += step) {
        RunOne(input.substr(0, cut));
    }
    for (int i = 0; i < 300 && !input.empty(); ++i) {
        std::string mutated = input;
        const int flips = 1 + static_cast<int>(random() % 4);
        for (int f = 0; f < flips; ++f) {
            mutated[random() % mutated.size()] = static_cast<char>(random() & 0xFF);
        }
        RunOne(mutated);
    }
}

} // namespace

int main(int argc, char** argv) {
    std::mt19937 random(12345);
    int inputs = 0;
    for (int i = 1; i < argc; ++i) {
        std::filesystem::path path(argv[i]);
        std::vector<std::filesystem::path> files;
        if (std::filesystem::is_directory(path)) {
            for (const auto& entry : std::filesystem::directory_iterator(path)) {
                files.push_back(entry.path());
            }
        } else {
            files.push_back(path);
        }
        std::sort(files.begin(), files.end());
        for (const auto& file : files) {
            std::ifstream in(file, std::ios::binary);
            const std::string input((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
            RunWithMutations(input, random);
            ++inputs;
        }
    }
    std::printf("replayed %d inputs with their mutations\n", inputs);
    return inputs > 0 ? 0 : 1;
}
