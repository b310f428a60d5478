// The validator's random choices. A 32-bit Mersenne twister with its own mapping to ranges, so that a
// seed picks the same choices on every platform and standard library.
#ifndef TRHOST_VALIDATE_RANDOM_H
#define TRHOST_VALIDATE_RANDOM_H

#include <cstdint>
#include <random>
#include <string_view>

namespace trhost::validate {

class Random {
public:
    explicit Random(uint32_t seed) : m_engine(seed) {}

    // A whole number in [low, high]; low <= high.
    int32_t Between(int32_t low, int32_t high) {
        uint64_t span = static_cast<uint64_t>(static_cast<int64_t>(high) - low) + 1;
        return static_cast<int32_t>(low + static_cast<int64_t>(m_engine() % span));
    }
    // A number in [low, high].
    double Uniform(double low, double high) {
        double unit = static_cast<double>(m_engine()) / 4294967295.0;
        return low + (high - low) * unit;
    }

private:
    std::mt19937 m_engine;
};

// The seed of one check in a run: mixes the run's seed with the check's name, so that a check makes
// the same choices whether it runs alone (--only) or among the others.
inline uint32_t CheckSeed(uint32_t run_seed, std::string_view check_name) {
    uint32_t hash = 2166136261u;  // FNV-1a
    for (char c : check_name) hash = (hash ^ static_cast<uint8_t>(c)) * 16777619u;
    return hash ^ (run_seed * 2654435761u);
}

}  // namespace trhost::validate

#endif  // TRHOST_VALIDATE_RANDOM_H
