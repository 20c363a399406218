// Writes the synthetic data of one sample package element:
//   generate_sample_data OUTPUT KIND SIZE SEED
// The same arguments always give the same bytes, on any compiler.
//   opaque  pseudo-random bytes, as encrypted firmware and fonts look
//   params  a parameter block: (id, value) pairs of 16-bit little-endian
//           words over its first half, the rest left erased (0xFF)

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

// SplitMix64: tiny, and fully defined by its constants.
class Generator {
public:
    explicit Generator(std::uint64_t seed) : state_(seed) {}
    std::uint64_t Next() {
        std::uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }

private:
    std::uint64_t state_;
};

std::vector<std::uint8_t> Opaque(std::size_t size, Generator& g) {
    std::vector<std::uint8_t> data(size);
    for (std::size_t i = 0; i < size; i += 8) {
        const std::uint64_t word = g.Next();
        for (std::size_t k = 0; k < 8 && i + k < size; ++k) data[i + k] = static_cast<std::uint8_t>(word >> (8 * k));
    }
    return data;
}

std::vector<std::uint8_t> Params(std::size_t size, Generator& g) {
    std::vector<std::uint8_t> data(size, 0xFF);
    std::uint16_t id = 1;
    for (std::size_t i = 0; i + 4 <= size / 2; i += 4, ++id) {
        const auto value = static_cast<std::uint16_t>(g.Next());
        data[i] = static_cast<std::uint8_t>(id);
        data[i + 1] = static_cast<std::uint8_t>(id >> 8);
        data[i + 2] = static_cast<std::uint8_t>(value);
        data[i + 3] = static_cast<std::uint8_t>(value >> 8);
    }
    return data;
}

bool ParseNumber(const char* text, unsigned long long* value) {
    char* end = nullptr;
    errno = 0;
    *value = std::strtoull(text, &end, 10);
    return errno == 0 && end != text && *end == '\0';
}

}  // namespace

int main(int argc, char** argv) {
    unsigned long long size = 0, seed = 0;
    if (argc != 5 || !ParseNumber(argv[3], &size) || !ParseNumber(argv[4], &seed) || size > (64u << 20)) {
        std::fprintf(stderr, "usage: generate_sample_data OUTPUT opaque|params SIZE SEED\n");
        return 2;
    }
    const std::string kind = argv[2];
    Generator g(seed);
    std::vector<std::uint8_t> data;
    if (kind == "opaque") {
        data = Opaque(size, g);
    } else if (kind == "params") {
        data = Params(size, g);
    } else {
        std::fprintf(stderr, "generate_sample_data: unknown kind %s\n", argv[2]);
        return 2;
    }

    std::FILE* out = std::fopen(argv[1], "wb");
    if (out == nullptr) {
        std::fprintf(stderr, "generate_sample_data: cannot write %s: %s\n", argv[1], std::strerror(errno));
        return 1;
    }
    const bool written = std::fwrite(data.data(), 1, data.size(), out) == data.size();
    if (std::fclose(out) != 0 || !written) {
        std::fprintf(stderr, "generate_sample_data: cannot write %s\n", argv[1]);
        std::remove(argv[1]);
        return 1;
    }
    return 0;
}
