#include "generator/random.h"

#include <cassert>
#include <cerrno>
#include <cstddef>
#include <system_error>

#include <fcntl.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace morvane::generator {

namespace {

constexpr std::size_t kSeedBytes = 32;

// Fills `buf` from the getrandom system call; false with errno set when it fails, ENOSYS when
// the kernel lacks the call.
bool fill_from_getrandom(std::uint8_t* buf) {
  std::size_t got = 0;
  while (got < kSeedBytes) {
    const long n = syscall(SYS_getrandom, buf + got, kSeedBytes - got, 0);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    got += static_cast<std::size_t>(n);
  }
  return true;
}

// Fills `buf` from /dev/urandom; false with errno set when it fails (EIO for an early end).
bool fill_from_urandom(std::uint8_t* buf) {
  int fd;
  do {
    fd = open("/dev/urandom", O_RDONLY | O_CLOEXEC);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) return false;
  std::size_t got = 0;
  bool ok = true;
  while (got < kSeedBytes) {
    const ssize_t n = read(fd, buf + got, kSeedBytes - got);
    if (n < 0) {
      if (errno == EINTR) continue;
      ok = false;
      break;
    }
    if (n == 0) {
      errno = EIO;
      ok = false;
      break;
    }
    got += static_cast<std::size_t>(n);
  }
  const int saved = errno;
  close(fd);
  errno = saved;
  return ok;
}

}  // namespace

Rng Rng::seed_from_u64(std::uint64_t seed) {
  std::array<std::uint64_t, 4> s;
  std::uint64_t x = seed;
  for (std::uint64_t& word : s) {
    x += 0x9e3779b97f4a7c15;
    std::uint64_t z = x;
    z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9;
    z = (z ^ (z >> 27)) * 0x94d049bb133111eb;
    word = z ^ (z >> 31);
  }
  return Rng(s);
}

Rng Rng::from_seed(const std::array<std::uint8_t, 32>& bytes) {
  std::array<std::uint64_t, 4> s{};
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    s[i / 8] |= std::uint64_t{bytes[i]} << (8 * (i % 8));
  }
  if ((s[0] | s[1] | s[2] | s[3]) == 0) return seed_from_u64(0);
  return Rng(s);
}

Result<Rng, OsRandomError> Rng::from_os_rng() {
  std::array<std::uint8_t, kSeedBytes> bytes;
  bool ok = fill_from_getrandom(bytes.data());
  if (!ok && errno == ENOSYS) ok = fill_from_urandom(bytes.data());
  if (!ok) {
    return Err{OsRandomError{"from_os_rng failed: " +
                             std::error_code(errno, std::generic_category()).message()}};
  }
  return from_seed(bytes);
}

void Rng::sample(std::uint32_t n, std::span<std::uint32_t> out) {
  assert(!out.empty() && out.size() <= n);
  const std::uint32_t k = static_cast<std::uint32_t>(out.size());
  std::size_t filled = 0;
  for (std::uint32_t j = n - k; j < n; ++j) {
    const std::uint32_t t = random_range_u32(0, j + 1);
    for (std::size_t p = 0; p < filled; ++p) {
      if (out[p] == t) {
        out[p] = j;
        break;
      }
    }
    out[filled++] = t;
  }
}

}  // namespace morvane::generator
