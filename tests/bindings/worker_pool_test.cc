// The worker pool: its size from the environment, the control-group CPU quota, and what
// parallel_for promises (each index once, exceptions, concurrent callers, the worker stack, and
// the process pool across fork()).
#include "bindings/worker_pool.h"

#include <gtest/gtest.h>
#include <pthread.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <optional>
#include <stdexcept>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace morvane::bindings {
namespace {

std::string shown(const char* value) {
  return value == nullptr ? "(absent)" : '"' + std::string(value) + '"';
}

TEST(PoolSize, ReadsRayonNumThreadsThenRayonRsNumCpus) {
  constexpr std::size_t kAvailable = 6;
  struct Row {
    const char* num_threads;
    const char* rs_num_cpus;
    std::size_t expected;
  };
  const Row rows[] = {
      {nullptr, nullptr, kAvailable},
      {"", nullptr, kAvailable},
      {"3", nullptr, 3},
      {"+3", nullptr, 3},
      {"003", nullptr, 3},
      {"12", nullptr, 12},  // more than the processors is allowed
      {"18446744073709551615", nullptr, SIZE_MAX},
      // RAYON_NUM_THREADS=0 means "the processors", even when RAYON_RS_NUM_CPUS is set.
      {"0", nullptr, kAvailable},
      {"0", "5", kAvailable},
      {"4", "5", 4},
      // Not a decimal integer that fits: RAYON_RS_NUM_CPUS decides, else the processors.
      {"-1", nullptr, kAvailable},
      {" 3", nullptr, kAvailable},
      {"3 ", nullptr, kAvailable},
      {"3x", nullptr, kAvailable},
      {"+", nullptr, kAvailable},
      {"++3", nullptr, kAvailable},
      {"+-3", nullptr, kAvailable},
      {"18446744073709551616", nullptr, kAvailable},
      {"abc", "5", 5},
      {"", "+2", 2},
      {nullptr, "5", 5},
      {nullptr, "0", kAvailable},
      {nullptr, "-2", kAvailable},
      {nullptr, "2.5", kAvailable},
  };
  for (const Row& row : rows) {
    EXPECT_EQ(pool_size(row.num_threads, row.rs_num_cpus, kAvailable), row.expected)
        << "RAYON_NUM_THREADS=" << shown(row.num_threads)
        << " RAYON_RS_NUM_CPUS=" << shown(row.rs_num_cpus);
  }
}

TEST(AvailableParallelism, IsAtLeastOne) { EXPECT_GE(available_parallelism(), 1u); }

// Each row builds its quota files in a fresh directory; "@" in the mount table stands for it.
TEST(CgroupCpuLimit, SmallestQuotaFromTheGroupUpToItsMountPoint) {
  struct Row {
    const char* name;
    std::vector<std::pair<std::string, std::string>> files;  // path under the directory, text
    std::string cgroups;
    std::string mountinfo;
    std::optional<std::size_t> expected;
  };
  const std::string v2_mount = "42 32 0:39 / @/u rw,relatime - cgroup2 cgroup2 rw\n";
  const Row rows[] = {
      {"v2: a parent's tighter quota wins over the group's own",
       {{"u/a/cpu.max", "200000 100000\n"},
        {"u/a/b/cpu.max", "800000 100000\n"},
        {"u/a/b/c/cpu.max", "max 100000\n"}},
       "0::/a/b/c\n",
       v2_mount,
       2},
      {"v2: quota / period rounds down", {{"u/g/cpu.max", "350000 100000\n"}}, "0::/g\n",
       v2_mount, 3},
      {"v2: less than one period still gives 1", {{"u/g/cpu.max", "50000 100000\n"}}, "0::/g\n",
       v2_mount, 1},
      {"v2: no quota", {{"u/g/cpu.max", "max 100000\n"}}, "0::/g\n", v2_mount, std::nullopt},
      {"v2: a quota file at the mount point itself counts",
       {{"u/cpu.max", "100000 100000\n"}},
       "0::/\n",
       v2_mount,
       1},
      {"v1: the mount root is cut from the group path, nothing above the mount point is read, "
       "and a cpuacct-only hierarchy is not the cpu one",
       {{"c/sub/cpu.cfs_quota_us", "-1\n"},
        {"c/sub/cpu.cfs_period_us", "100000\n"},
        {"c/cpu.cfs_quota_us", "300000\n"},
        {"c/cpu.cfs_period_us", "100000\n"},
        {"cpu.cfs_quota_us", "100000\n"},
        {"cpu.cfs_period_us", "100000\n"},
        {"acct/docker/x/sub/cpu.cfs_quota_us", "100000\n"},
        {"acct/docker/x/sub/cpu.cfs_period_us", "100000\n"}},
       "5:cpuacct:/docker/x/sub\n4:memory:/docker/x\n3:cpu,cpuacct:/docker/x/sub\n",
       "34 32 0:31 / @/acct rw - cgroup cgroup rw,cpuacct\n"
       "33 32 0:30 /docker/x @/c rw,relatime - cgroup cgroup rw,cpu,cpuacct\n",
       3},
      {"v1: a cpuacct-only group is not the cpu controller",
       {{"a/cpu.cfs_quota_us", "100000\n"}, {"a/cpu.cfs_period_us", "100000\n"}},
       "2:cpuacct:/\n",
       "34 32 0:31 / @/a rw - cgroup cgroup rw,cpu\n",
       std::nullopt},
      {"a mount whose root merely prefixes the group's path does not show the group",
       {{"ux/cpu.max", "100000 100000\n"}},
       "0::/minex\n",
       "42 32 0:39 /mine @/u rw - cgroup2 cgroup2 rw\n",
       std::nullopt},
      {"an escaped space in the mount point",
       {{"with space/g/cpu.max", "200000 100000\n"}},
       "0::/g\n",
       "42 32 0:39 / @/with\\040space rw - cgroup2 cgroup2 rw\n",
       2},
      {"both hierarchies: the tighter one wins",
       {{"u/g/cpu.max", "max 100000\n"},
        {"u/cpu.max", "200000 100000\n"},
        {"cpu/cpu.cfs_quota_us", "400000\n"},
        {"cpu/cpu.cfs_period_us", "100000\n"}},
       "1:cpu:/\n0::/g\n",
       "32 23 0:29 / @ rw - tmpfs tmpfs rw\n"
       "33 32 0:30 / @/cpu rw - cgroup cgroup rw,cpu\n" +
           v2_mount,
       2},
      {"nothing to read", {}, "", "", std::nullopt},
  };

  char pattern[] = "/tmp/worker_pool_test.XXXXXX";
  ASSERT_NE(mkdtemp(pattern), nullptr);
  const std::filesystem::path base = pattern;
  int index = 0;
  for (const Row& row : rows) {
    const std::filesystem::path dir = base / std::to_string(index++);
    for (const auto& [path, text] : row.files) {
      std::filesystem::create_directories((dir / path).parent_path());
      std::ofstream(dir / path) << text;
    }
    std::string mountinfo = row.mountinfo;
    for (std::size_t at = 0; (at = mountinfo.find('@', at)) != std::string::npos;) {
      mountinfo.replace(at, 1, dir.string());
    }
    EXPECT_EQ(cgroup_cpu_limit(row.cgroups, mountinfo), row.expected) << row.name;
  }
  std::filesystem::remove_all(base);
}

// Runs a batch of `n` on `pool` and says whether it covered each index exactly once, with
// non-empty ranges inside [0, n), each on a lane below lanes() that no other thread held at the
// same time, and left every write visible when parallel_for returned.
testing::AssertionResult covers_once(WorkerPool& pool, std::size_t n) {
  std::vector<std::atomic<int>> hits(n);
  // Plain writes read after the call: ThreadSanitizer flags them if the call does not wait.
  std::vector<std::size_t> written(n, 0);
  std::vector<std::atomic<int>> inside(pool.lanes());
  std::atomic<bool> bad_range{false};
  std::atomic<bool> bad_lane{false};
  pool.parallel_for(n, [&](std::size_t lane, std::size_t begin, std::size_t end) {
    if (lane >= inside.size() || inside[lane].fetch_add(1) != 0) {
      bad_lane = true;
      return;
    }
    if (begin >= end || end > n) {
      bad_range = true;
    } else {
      for (std::size_t i = begin; i < end; ++i) {
        hits[i].fetch_add(1, std::memory_order_relaxed);
        written[i] = i + 1;
      }
    }
    inside[lane].fetch_sub(1);
  });
  if (bad_lane) return testing::AssertionFailure() << "a lane was out of range or shared";
  if (bad_range) return testing::AssertionFailure() << "a range was empty or past " << n;
  for (std::size_t i = 0; i < n; ++i) {
    if (hits[i] != 1 || written[i] != i + 1) {
      return testing::AssertionFailure()
             << "index " << i << " of " << n << " was covered " << hits[i] << " times";
    }
  }
  return testing::AssertionSuccess();
}

// Counts one arrival and waits until `n` have arrived.
void arrive_and_wait(std::atomic<std::size_t>& arrived, std::size_t n) {
  arrived.fetch_add(1);
  arrived.notify_all();
  for (std::size_t seen = arrived.load(); seen < n; seen = arrived.load()) arrived.wait(seen);
}

// Runs body() once on each of the pool's workers and on the caller, all inside one batch: each
// of its threads() + 1 indices waits after body() until every index has got there, so each
// thread holds exactly one. Returns only when every worker is alive and has run body().
template <class Body>
void run_on_every_thread(WorkerPool& pool, Body body) {
  const std::size_t n = pool.threads() + 1;
  std::atomic<std::size_t> arrived{0};
  pool.parallel_for(n, [&](std::size_t, std::size_t begin, std::size_t end) {
    for (std::size_t i = begin; i < end; ++i) {
      body();
      arrive_and_wait(arrived, n);
    }
  });
}

TEST(ParallelFor, CoversEveryIndexOnce) {
  for (std::size_t threads : {0, 1, 3, 8}) {
    WorkerPool pool(threads);
    ASSERT_EQ(pool.threads(), threads);
    for (std::size_t n : {0, 1, 2, 7, 1000, 100003}) {
      EXPECT_TRUE(covers_once(pool, n)) << threads << " threads";
    }
  }
}

// The lanes that ran some range of a call of n indices with at most `helpers` workers, and
// whether every range ran on the calling thread.
struct LanesSeen {
  std::vector<bool> lanes;
  bool all_on_caller = true;
};

LanesSeen lanes_of(WorkerPool& pool, std::size_t n, std::size_t helpers) {
  LanesSeen seen;
  seen.lanes.assign(pool.lanes(), false);
  std::vector<std::atomic<bool>> used(pool.lanes());
  std::atomic<bool> elsewhere{false};
  const std::thread::id caller = std::this_thread::get_id();
  pool.parallel_for(
      n,
      [&](std::size_t lane, std::size_t, std::size_t) {
        used[lane] = true;
        if (std::this_thread::get_id() != caller) elsewhere = true;
        // Long enough that idle workers get to join.
        for (int i = 0; i < 200; ++i) std::this_thread::yield();
      },
      helpers);
  for (std::size_t lane = 0; lane < used.size(); ++lane) seen.lanes[lane] = used[lane];
  seen.all_on_caller = !elsewhere;
  return seen;
}

TEST(ParallelFor, NoMoreWorkersJoinThanTheCallAllows) {
  WorkerPool pool(4);
  for (std::size_t helpers : {0, 1, 2}) {
    for (int round = 0; round < 20; ++round) {
      const LanesSeen seen = lanes_of(pool, 500, helpers);
      for (std::size_t lane = helpers + 1; lane < seen.lanes.size(); ++lane) {
        EXPECT_FALSE(seen.lanes[lane]) << "lane " << lane << " with " << helpers << " helpers";
      }
      if (helpers == 0) {
        EXPECT_TRUE(seen.all_on_caller);
      }
    }
  }
  EXPECT_TRUE(covers_once(pool, 1000));
}

// Runs `body` on a new thread with a stack of `bytes`, and waits for it.
template <class Body>
void on_small_stack(std::size_t bytes, Body body) {
  pthread_attr_t attributes;
  ASSERT_EQ(pthread_attr_init(&attributes), 0);
  ASSERT_EQ(pthread_attr_setstacksize(&attributes, bytes), 0);
  pthread_t thread;
  ASSERT_EQ(pthread_create(
                &thread, &attributes,
                [](void* body) -> void* {
                  (*static_cast<Body*>(body))();
                  return nullptr;
                },
                &body),
            0);
  pthread_attr_destroy(&attributes);
  ASSERT_EQ(pthread_join(thread, nullptr), 0);
}

// A caller whose stack is smaller than a worker's runs none of its ranges, however few it
// allows helpers, so that no result depends on which thread made it; without workers it runs
// them all.
TEST(ParallelFor, ACallerWithASmallStackLeavesItsRangesToTheWorkers) {
  WorkerPool pool(2);
  WorkerPool alone(0);
  on_small_stack(std::size_t{256} << 10, [&] {
    EXPECT_FALSE(has_worker_room());
    for (std::size_t helpers : {0, 1, 8}) {
      for (std::size_t n : {1, 2, 100}) {
        const LanesSeen seen = lanes_of(pool, n, helpers);
        EXPECT_FALSE(seen.lanes[0]) << n << " indices, " << helpers << " helpers";
        EXPECT_FALSE(seen.all_on_caller);
        EXPECT_TRUE(lanes_of(alone, n, helpers).all_on_caller);
      }
    }
    EXPECT_TRUE(covers_once(pool, 1000));
  });
  EXPECT_TRUE(has_worker_room());
}

TEST(ParallelFor, RethrowsTheFirstExceptionAndKeepsWorking) {
  WorkerPool pool(3);
  try {
    pool.parallel_for(1000, [](std::size_t, std::size_t begin, std::size_t end) {
      if (begin <= 500 && 500 < end) throw std::runtime_error("index 500");
    });
    ADD_FAILURE() << "nothing thrown";
  } catch (const std::runtime_error& error) {
    EXPECT_STREQ(error.what(), "index 500");
  }
  // Every range throws, on every thread: one exception comes out.
  EXPECT_THROW(pool.parallel_for(1000, [](std::size_t, std::size_t, std::size_t) { throw 7; }),
               int);
  EXPECT_TRUE(covers_once(pool, 1000));
}

// Index 0 throws while every other thread is inside a range of its own; those ranges go on
// after the throw, and the exception comes out only once they have finished.
TEST(ParallelFor, RethrowsOnlyAfterTheRunningRangesFinish) {
  WorkerPool pool(3);
  const std::size_t n = pool.threads() + 1;  // one index per thread, each held until all arrive
  std::atomic<std::size_t> arrived{0};
  std::atomic<bool> thrown{false};
  std::vector<char> finished(n, 0);  // plain writes, read once the exception is out
  EXPECT_THROW(pool.parallel_for(n,
                                 [&](std::size_t, std::size_t begin, std::size_t) {
                                   arrive_and_wait(arrived, n);
                                   if (begin == 0) {
                                     thrown = true;
                                     thrown.notify_all();
                                     throw std::runtime_error("index 0");
                                   }
                                   thrown.wait(false);
                                   // Lingers, so that a call returning early finds this
                                   // write missing.
                                   for (int i = 0; i < 1000; ++i) std::this_thread::yield();
                                   finished[begin] = 1;
                                 }),
               std::runtime_error);
  for (std::size_t i = 1; i < n; ++i) EXPECT_EQ(finished[i], 1) << "index " << i;
}

TEST(ParallelFor, SkipsRangesNotStartedAfterAThrow) {
  WorkerPool pool(0);  // the caller alone claims the ranges, one after another
  int calls = 0;
  EXPECT_THROW(pool.parallel_for(64,
                                 [&](std::size_t, std::size_t, std::size_t) {
                                   ++calls;
                                   throw std::runtime_error("first range");
                                 }),
               std::runtime_error);
  EXPECT_EQ(calls, 1);
}

TEST(ParallelFor, ConcurrentCallersShareOnePool) {
  WorkerPool pool(3);
  std::vector<std::thread> callers;
  for (std::size_t caller = 0; caller < 6; ++caller) {
    callers.emplace_back([&pool, caller] {
      for (int round = 0; round < 20; ++round) {
        EXPECT_TRUE(covers_once(pool, 997 + caller)) << "caller " << caller;
      }
    });
  }
  for (std::thread& caller : callers) caller.join();
}

#if defined(__SANITIZE_THREAD__)
TEST(ParallelFor, WorkersRunDeepRecursion) {
  GTEST_SKIP() << "ThreadSanitizer keeps about 770 KiB of per-thread state on each thread's stack";
}
#else
// Fills `depth` frames of kFrameBytes, every byte written so that running past the stack's end
// faults; each frame reads the one above it, so no frame can be merged or reused.
constexpr std::size_t kFrameBytes = std::size_t{16} << 10;

std::size_t fill_frames(std::size_t depth, const volatile unsigned char* above) {
  volatile unsigned char frame[kFrameBytes];
  for (std::size_t i = 0; i < kFrameBytes; ++i) frame[i] = static_cast<unsigned char>(i ^ depth);
  const std::size_t below = depth == 0 ? 0 : fill_frames(depth - 1, frame);
  return below + frame[depth % kFrameBytes] + (above == nullptr ? 0 : above[depth]);
}

TEST(ParallelFor, WorkersRunDeepRecursion) {
  // A small default stack, so that a worker started without its own size could not recurse.
  pthread_attr_t saved_default;
  ASSERT_EQ(pthread_getattr_default_np(&saved_default), 0);
  pthread_attr_t small_default;
  ASSERT_EQ(pthread_attr_init(&small_default), 0);
  ASSERT_EQ(pthread_attr_setstacksize(&small_default, std::size_t{256} << 10), 0);
  ASSERT_EQ(pthread_setattr_default_np(&small_default), 0);
  WorkerPool pool(2);
  ASSERT_EQ(pthread_setattr_default_np(&saved_default), 0);
  pthread_attr_destroy(&small_default);
  pthread_attr_destroy(&saved_default);
  ASSERT_EQ(pool.threads(), 2u);

  // Three quarters of the worker stack; the rest is room for the frames around the work.
  constexpr std::size_t kDepth = kWorkerStackSize * 3 / 4 / kFrameBytes;
  std::atomic<std::size_t> sum{0};
  run_on_every_thread(pool, [&] { sum += fill_frames(kDepth, nullptr); });
  EXPECT_GT(sum.load(), 0u);
}
#endif

// A child made by fork() gets a pool whose workers all run, even when another thread was inside
// a batch (so perhaps holding the pool's mutex) at the fork; the parent keeps its pool.
TEST(ProcessPool, WorksInAForkedChildAndInTheParentAfterwards) {
  WorkerPool& pool = process_pool();
  ASSERT_GE(pool.threads(), 1u);
  // Every worker past its start-up: a thread inside the allocator at the fork would leave the
  // child a held allocator lock (sanitizer runtimes do not guard fork against that).
  run_on_every_thread(pool, [] {});
  ASSERT_TRUE(covers_once(pool, 1000));

  std::atomic<bool> started{false};
  std::atomic<bool> stop{false};
  std::thread busy([&] {
    // Allocates nothing once started, for the same reason.
    std::atomic<std::size_t> covered{0};
    while (!stop) {
      covered = 0;
      pool.parallel_for(100, [&](std::size_t, std::size_t begin, std::size_t end) {
        covered += end - begin;
      });
      if (covered != 100) ADD_FAILURE() << "covered " << covered.load() << " of 100";
      started = true;
      started.notify_all();
    }
  });
  started.wait(false);
  const pid_t child = fork();
  if (child == 0) {
    WorkerPool& fresh = process_pool();
    run_on_every_thread(fresh, [] {});
    _exit(fresh.threads() == pool.threads() && covers_once(fresh, 1000) ? 0 : 1);
  }
  stop = true;
  busy.join();
  ASSERT_NE(child, -1);
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "wait status " << status;

  EXPECT_EQ(&process_pool(), &pool);
  run_on_every_thread(pool, [] {});
  EXPECT_TRUE(covers_once(pool, 1000));
}

}  // namespace
}  // namespace morvane::bindings
