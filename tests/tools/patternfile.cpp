// patternfile SIZE SEED OUT: writes SIZE bytes of a deterministic pseudo-random
// pattern (seeded by the text SEED) to OUT, so test volumes can be rebuilt
// byte for byte on any machine. SIZE may end in K, M or G (powers of 1024).

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

int main(int argc, char** argv)
{
    if (argc != 4) {
        std::fprintf(stderr, "usage: patternfile SIZE SEED OUT\n");
        return 2;
    }
    std::string sizeText = argv[1];
    std::uint64_t multiplier = 1;
    if (!sizeText.empty()) {
        switch (sizeText.back()) {
        case 'K': multiplier = 1ull << 10; sizeText.pop_back(); break;
        case 'M': multiplier = 1ull << 20; sizeText.pop_back(); break;
        case 'G': multiplier = 1ull << 30; sizeText.pop_back(); break;
        default: break;
        }
    }
    char* end = nullptr;
    const std::uint64_t size = std::strtoull(sizeText.c_str(), &end, 10) * multiplier;
    if (end == sizeText.c_str() || *end != '\0') {
        std::fprintf(stderr, "patternfile: bad size %s\n", argv[1]);
        return 2;
    }
    // FNV-1a of the seed text starts an xorshift64* stream.
    std::uint64_t state = 0xcbf29ce484222325ull;
    for (const char* p = argv[2]; *p; ++p)
        state = (state ^ static_cast<unsigned char>(*p)) * 0x100000001b3ull;
    if (state == 0)
        state = 1;
    std::FILE* out = std::fopen(argv[3], "wb");
    if (!out) {
        std::perror(argv[3]);
        return 1;
    }
    std::vector<unsigned char> block(1 << 16);
    std::uint64_t left = size;
    while (left > 0) {
        const std::size_t n = left < block.size() ? static_cast<std::size_t>(left) : block.size();
        for (std::size_t i = 0; i < n; i += 8) {
            state ^= state >> 12;
            state ^= state << 25;
            state ^= state >> 27;
            const std::uint64_t v = state * 0x2545F4914F6CDD1Dull;
            for (std::size_t k = 0; k < 8 && i + k < n; ++k)
                block[i + k] = static_cast<unsigned char>(v >> (8 * k));
        }
        if (std::fwrite(block.data(), 1, n, out) != n) {
            std::perror(argv[3]);
            std::fclose(out);
            return 1;
        }
        left -= n;
    }
    return std::fclose(out) == 0 ? 0 : 1;
}
