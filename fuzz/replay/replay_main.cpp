// Replays the corpus of a fuzz target in the normal build, without libFuzzer: every file of the
// directory goes through the target once. A fault shows as a crash, an abort or a sanitizer
// report; ctest runs one replay per target.
//     fuzz_replay TARGET DIRECTORY
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#define KELVRA_FUZZ_TARGET(name) extern "C" int kelvraFuzz_##name(const std::uint8_t*, std::size_t);
#include "fuzz_targets.inc"
#undef KELVRA_FUZZ_TARGET

namespace {

struct Target {
    const char* name;
    int (*run)(const std::uint8_t*, std::size_t);
};

const Target kTargets[] = {
#define KELVRA_FUZZ_TARGET(name) {#name, kelvraFuzz_##name},
#include "fuzz_targets.inc"
#undef KELVRA_FUZZ_TARGET
};

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s TARGET DIRECTORY\n", argv[0]);
        return 2;
    }
    const Target* target = nullptr;
    for (const Target& t : kTargets) {
        if (std::strcmp(t.name, argv[1]) == 0) target = &t;
    }
    if (target == nullptr) {
        std::fprintf(stderr, "no fuzz target %s\n", argv[1]);
        return 2;
    }
    std::vector<std::filesystem::path> files;
    for (const auto& entry : std::filesystem::directory_iterator(argv[2])) {
        if (entry.is_regular_file()) files.push_back(entry.path());
    }
    if (files.empty()) {
        std::fprintf(stderr, "no inputs in %s\n", argv[2]);
        return 1;
    }
    for (const auto& file : files) {
        std::ifstream in(file, std::ios::binary);
        const std::string bytes((std::istreambuf_iterator<char>(in)), {});
        target->run(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
    }
    std::printf("%s: %zu inputs replayed\n", target->name, files.size());
    return 0;
}
