// Runs a fuzz target once on each given file, and on every file of each given
// directory, without libFuzzer: how the saved inputs are replayed as tests
// with any compiler. A broken invariant aborts, as under the fuzzer.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

namespace {

void run_file(const std::filesystem::path& path) {
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        std::fprintf(stderr, "cannot read %s\n", path.c_str());
        std::exit(2);
    }
    const std::vector<char> bytes((std::istreambuf_iterator<char>(file)),
                                  std::istreambuf_iterator<char>());
    // A copy of exactly the input's size, so that reading past it is caught.
    std::vector<uint8_t> data(bytes.begin(), bytes.end());
    LLVMFuzzerTestOneInput(data.empty() ? nullptr : data.data(), data.size());
}

}  // namespace

int main(int argc, char** argv) {
    size_t count = 0;
    for (int a = 1; a < argc; ++a) {
        const std::filesystem::path arg(argv[a]);
        if (std::filesystem::is_directory(arg)) {
            std::vector<std::filesystem::path> files;
            for (const auto& entry : std::filesystem::directory_iterator(arg)) {
                if (entry.is_regular_file() && entry.path().filename().string()[0] != '.') {
                    files.push_back(entry.path());
                }
            }
            std::sort(files.begin(), files.end());
            for (const auto& f : files) run_file(f);
            count += files.size();
        } else if (std::filesystem::exists(arg)) {
            run_file(arg);
            ++count;
        } else {
            std::fprintf(stderr, "no such file or directory: %s\n", argv[a]);
            return 2;
        }
    }
    std::printf("replayed %zu inputs\n", count);
    return 0;
}
