// A small, fully specified generator (splitmix64), so that one seed replays one run on every
// standard library.
#pragma once
#include <cstdint>
#include <vector>

namespace vestrand::test {

class Random {
public:
    explicit Random(uint64_t seed) : m_state(seed) {}
    uint64_t Next() {
        uint64_t z = (m_state += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    // 0 .. n-1 (n > 0).
    uint32_t Below(uint64_t n) { return static_cast<uint32_t>(Next() % n); }
    bool Chance(uint32_t percent) { return Below(100) < percent; }
    template <typename T> const T& Pick(const std::vector<T>& items) { return items[Below(items.size())]; }

private:
    uint64_t m_state;
};

} // namespace vestrand::test
