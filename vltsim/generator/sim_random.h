// A small deterministic random source. Every stream is keyed by the run's seed and by what it
// describes (an hour, a node and a day, ...), so a value never depends on what was drawn before
// it elsewhere: `create` and `advance` regenerate the same activities for the same hour.
// Not thread-safe; cheap to create one per use.
#pragma once

#include <cstdint>
#include <initializer_list>

namespace kelvan::vltsim {

class SimRandom {
 public:
  SimRandom(std::uint64_t seed, std::initializer_list<std::int64_t> keys) : state_(seed) {
    for (std::int64_t key : keys) state_ = Mix(state_ ^ static_cast<std::uint64_t>(key));
  }

  std::uint64_t Next() {
    state_ += 0x9E3779B97F4A7C15ULL;
    return Mix(state_);
  }
  // Uniform in [low, high]; high >= low.
  std::int64_t Between(std::int64_t low, std::int64_t high) {
    return low + static_cast<std::int64_t>(Next() % static_cast<std::uint64_t>(high - low + 1));
  }
  // Uniform in [0, 1).
  double Unit() { return static_cast<double>(Next() >> 11) * 0x1.0p-53; }
  bool Chance(double probability) { return Unit() < probability; }

 private:
  static std::uint64_t Mix(std::uint64_t z) {
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
    return z ^ (z >> 31);
  }

  std::uint64_t state_;
};

}  // namespace kelvan::vltsim
