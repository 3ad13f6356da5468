// The generator's random source: xoshiro256++ seeded by SplitMix64 (or by the operating system),
// and the procedures that turn its 64-bit outputs into choices. A seed reproduces every draw bit
// for bit on every machine, so each procedure here is fixed exactly, including how many outputs
// it consumes; the generator's output depends on all of it.
//
// An Rng is a plain value owned by one generator; it holds no handles and is changed by every
// draw. Draws from one Rng must not run concurrently.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>

#include "error/result.h"

namespace morvane::generator {

// The operating system's random source failed; `message` is "from_os_rng failed: {}" with the
// system's description of the failure.
struct OsRandomError {
  std::string message;
};

class Rng {
 public:
  // The state of SplitMix64 run four times from `seed`; never all zero.
  static Rng seed_from_u64(std::uint64_t seed);
  // The state from 32 bytes read as four little-endian words; an all-zero block gives the state
  // of seed_from_u64(0), since xoshiro cannot leave the all-zero state.
  static Rng from_seed(const std::array<std::uint8_t, 32>& bytes);
  // 32 bytes from the getrandom system call (or /dev/urandom where the kernel lacks it),
  // interrupted reads retried, then from_seed.
  static Result<Rng, OsRandomError> from_os_rng();

  const std::array<std::uint64_t, 4>& state() const { return s_; }

  // One xoshiro256++ step.
  std::uint64_t next_u64() {
    const std::uint64_t result = rotl(s_[0] + s_[3], 23) + s_[0];
    const std::uint64_t t = s_[1] << 17;
    s_[2] ^= s_[0];
    s_[3] ^= s_[1];
    s_[1] ^= s_[2];
    s_[0] ^= s_[3];
    s_[2] ^= t;
    s_[3] = rotl(s_[3], 45);
    return result;
  }
  // The high half of one 64-bit output.
  std::uint32_t next_u32() { return static_cast<std::uint32_t>(next_u64() >> 32); }

  // A uniform integer in [low, low + range), range >= 1, by a widening multiply; a second output
  // is consumed only when the low half of the first product lands in the top range - 1 values.
  std::uint32_t random_range_u32(std::uint32_t low, std::uint32_t range) {
    const std::uint64_t m = std::uint64_t{next_u32()} * range;
    std::uint32_t hi = static_cast<std::uint32_t>(m >> 32);
    const std::uint32_t lo = static_cast<std::uint32_t>(m);
    if (lo > 0u - range) {
      const std::uint32_t y_hi =
          static_cast<std::uint32_t>((std::uint64_t{next_u32()} * range) >> 32);
      if (static_cast<std::uint32_t>(lo + y_hi) < lo) ++hi;
    }
    return low + hi;
  }
  std::uint64_t random_range_u64(std::uint64_t low, std::uint64_t range) {
    const unsigned __int128 m = static_cast<unsigned __int128>(next_u64()) * range;
    std::uint64_t hi = static_cast<std::uint64_t>(m >> 64);
    const std::uint64_t lo = static_cast<std::uint64_t>(m);
    if (lo > 0u - range) {
      const std::uint64_t y_hi =
          static_cast<std::uint64_t>((static_cast<unsigned __int128>(next_u64()) * range) >> 64);
      if (lo + y_hi < lo) ++hi;
    }
    return low + hi;
  }

  // An index below n (n >= 1): the 32-bit range draw from 0.
  std::uint32_t index(std::uint32_t n) { return random_range_u32(0, n); }
  // The top two bits of one output (0 to 3).
  std::uint32_t top_two_bits() { return static_cast<std::uint32_t>(next_u64() >> 62); }
  // The top bit of one output (0 or 1).
  std::uint32_t top_bit() { return static_cast<std::uint32_t>(next_u64() >> 63); }

  // Floyd's sampling: fills `out` with out.size() distinct indices below n
  // (1 <= out.size() <= n), in the order the method leaves them.
  void sample(std::uint32_t n, std::span<std::uint32_t> out);

  friend bool operator==(const Rng&, const Rng&) = default;

 private:
  explicit Rng(const std::array<std::uint64_t, 4>& s) : s_(s) {}
  static std::uint64_t rotl(std::uint64_t x, int k) { return (x << k) | (x >> (64 - k)); }

  std::array<std::uint64_t, 4> s_;
};

}  // namespace morvane::generator
