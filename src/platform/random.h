#pragma once

#include <cstdint>

namespace qv {

// The runtime's pseudo-random generator: seeded with a 32-bit value, yields values 0..32767.
class Random {
 public:
  virtual ~Random() = default;
  virtual void Seed(uint32_t seed) = 0;
  [[nodiscard]] virtual uint32_t Next() = 0;
};

// The classic C runtime linear congruential generator (state * 214013 + 2531011, bits 16..30).
class RuntimeRandom final : public Random {
 public:
  void Seed(uint32_t seed) override { state_ = seed; }
  [[nodiscard]] uint32_t Next() override {
    state_ = state_ * 214013u + 2531011u;
    return (state_ >> 16) & 0x7FFFu;
  }

 private:
  uint32_t state_ = 1;
};

}  // namespace qv
