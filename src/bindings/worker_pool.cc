#include "bindings/worker_pool.h"

#include <sched.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <charconv>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <memory>
#include <new>
#include <string>
#include <system_error>
#include <utility>

#include "bindings/exception_state.h"
#include "parser/stack_bound.h"

namespace morvane::bindings {
namespace {

// `text` as a decimal std::size_t: an optional '+', then digits only.
std::optional<std::size_t> parse_count(std::string_view text) {
  if (!text.empty() && text.front() == '+') text.remove_prefix(1);
  std::size_t value = 0;
  const char* end = text.data() + text.size();
  const auto [stop, error] = std::from_chars(text.data(), end, value);
  // from_chars takes no '+' and an empty text fails, so "", "+" and "++1" are refused here.
  if (error != std::errc() || stop != end) return std::nullopt;
  return value;
}

std::optional<std::size_t> parse_env(const char* value) {
  if (value == nullptr) return std::nullopt;
  return parse_count(value);
}

// The text before the next `separator` in `rest` (all of it when there is none); `rest` moves
// past the separator.
std::string_view take_until(std::string_view& rest, char separator) {
  const std::size_t at = rest.find(separator);
  const std::string_view token = rest.substr(0, at);
  rest = at == std::string_view::npos ? std::string_view() : rest.substr(at + 1);
  return token;
}

bool has_item(std::string_view list, std::string_view item) {
  while (!list.empty()) {
    if (take_until(list, ',') == item) return true;
  }
  return false;
}

// The whole file, or nothing when it cannot be opened. /proc files report size 0, so this reads
// until the end instead of asking for the size. It reads straight into the text: the first
// batch, which may be called at any depth, reads these files, so no buffer goes on the stack.
std::optional<std::string> read_file(const std::string& path) {
  const std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen(path.c_str(), "re"),
                                                             &std::fclose);
  if (file == nullptr) return std::nullopt;
  constexpr std::size_t kStep = 4096;
  std::string text;
  std::size_t got = 0;
  do {
    const std::size_t size = text.size();
    text.resize(size + kStep);
    got = std::fread(text.data() + size, 1, kStep, file.get());
    text.resize(size + got);
  } while (got > 0);
  return text;
}

// The first line of a quota file, without its newline.
std::optional<std::string> read_line(const std::string& path) {
  std::optional<std::string> text = read_file(path);
  if (text) text->resize(std::min(text->size(), text->find('\n')));
  return text;
}

// mountinfo writes space, tab, newline and backslash in paths as \ooo octal escapes.
std::string unescape_mount_path(std::string_view escaped) {
  std::string path;
  for (std::size_t i = 0; i < escaped.size(); ++i) {
    const auto is_octal = [&](std::size_t at) {
      return at < escaped.size() && escaped[at] >= '0' && escaped[at] <= '7';
    };
    if (escaped[i] == '\\' && is_octal(i + 1) && is_octal(i + 2) && is_octal(i + 3)) {
      path += static_cast<char>((escaped[i + 1] - '0') * 64 + (escaped[i + 2] - '0') * 8 +
                                (escaped[i + 3] - '0'));
      i += 3;
    } else {
      path += escaped[i];
    }
  }
  return path;
}

std::optional<std::size_t> quota_cpus(std::optional<std::size_t> quota,
                                      std::optional<std::size_t> period) {
  if (!quota || !period || *period == 0) return std::nullopt;
  return std::max<std::size_t>(1, *quota / *period);
}

// v2: `cpu.max` holds "quota period", the quota being "max" when unlimited.
std::optional<std::size_t> read_v2_quota(const std::string& dir) {
  const std::optional<std::string> line = read_line(dir + "/cpu.max");
  if (!line) return std::nullopt;
  std::string_view rest = *line;
  const std::string_view quota = take_until(rest, ' ');
  return quota_cpus(parse_count(quota), parse_count(rest));
}

// v1: the quota is -1 when unlimited, which parse_count refuses.
std::optional<std::size_t> read_v1_quota(const std::string& dir) {
  const std::optional<std::string> quota = read_line(dir + "/cpu.cfs_quota_us");
  const std::optional<std::string> period = read_line(dir + "/cpu.cfs_period_us");
  if (!quota || !period) return std::nullopt;
  return quota_cpus(parse_count(*quota), parse_count(*period));
}

enum class CgroupVersion : std::uint8_t { kV1, kV2 };

// Where a cpu hierarchy shows a group: its directory is mount_point + relative, `relative`
// being empty or starting with '/'.
struct GroupDirectory {
  std::string mount_point;
  std::string_view relative;
};

// The mount of the matching cpu hierarchy that shows the group `path` ("" for the root group),
// or nothing. A mount shows only the groups under its root, so `path` must lie there.
std::optional<GroupDirectory> find_group(CgroupVersion version, std::string_view path,
                                         std::string_view mountinfo) {
  while (!mountinfo.empty()) {
    std::string_view line = take_until(mountinfo, '\n');
    // "id parent major:minor root mount-point options [optional...] - type source super-options"
    const std::size_t dash = line.find(" - ");
    if (dash == std::string_view::npos) continue;
    std::string_view tail = line.substr(dash + 3);
    const std::string_view type = take_until(tail, ' ');
    take_until(tail, ' ');
    const std::string_view super_options = take_until(tail, ' ');
    const bool cpu_hierarchy = version == CgroupVersion::kV2
                                   ? type == "cgroup2"
                                   : type == "cgroup" && has_item(super_options, "cpu");
    if (!cpu_hierarchy) continue;
    std::string_view head = line.substr(0, dash);
    for (int skipped = 0; skipped < 3; ++skipped) take_until(head, ' ');
    const std::string root = unescape_mount_path(take_until(head, ' '));
    std::string mount_point = unescape_mount_path(take_until(head, ' '));
    if (root == "/") return GroupDirectory{std::move(mount_point), path};
    if (path.starts_with(root) && (path.size() == root.size() || path[root.size()] == '/')) {
      return GroupDirectory{std::move(mount_point), path.substr(root.size())};
    }
  }
  return std::nullopt;
}

// The smallest quota set on the group or on a parent up to the mount point.
std::optional<std::size_t> smallest_quota(CgroupVersion version, const GroupDirectory& group) {
  std::optional<std::size_t> smallest;
  std::string_view relative = group.relative;
  for (;;) {
    const std::string dir = group.mount_point + std::string(relative);
    const std::optional<std::size_t> quota =
        version == CgroupVersion::kV2 ? read_v2_quota(dir) : read_v1_quota(dir);
    if (quota && (!smallest || *quota < *smallest)) smallest = quota;
    if (relative.empty()) return smallest;
    relative = relative.substr(0, relative.rfind('/'));
  }
}

std::size_t affinity_count() {
  // The kernel refuses a mask smaller than its own CPU count with EINVAL; grow until it fits.
  for (std::size_t cpus = CPU_SETSIZE;; cpus *= 2) {
    cpu_set_t* set = CPU_ALLOC(cpus);
    if (set == nullptr) return 0;
    const std::size_t bytes = CPU_ALLOC_SIZE(cpus);
    const int result = sched_getaffinity(0, bytes, set);
    const int error = errno;
    const std::size_t count = result == 0 ? static_cast<std::size_t>(CPU_COUNT_S(bytes, set)) : 0;
    CPU_FREE(set);
    if (result == 0 || error != EINVAL) return count;
  }
}

}  // namespace

bool has_worker_room() {
  // A worker's work has less than its whole stack, so a caller with this much has more.
  return parser::StackBound::of_current_thread().room() >= kWorkerStackSize;
}

std::size_t pool_size(const char* rayon_num_threads, const char* rayon_rs_num_cpus,
                      std::size_t available) {
  if (const std::optional<std::size_t> threads = parse_env(rayon_num_threads)) {
    return *threads > 0 ? *threads : available;
  }
  const std::optional<std::size_t> cpus = parse_env(rayon_rs_num_cpus);
  return cpus && *cpus > 0 ? *cpus : available;
}

std::optional<std::size_t> cgroup_cpu_limit(std::string_view cgroups, std::string_view mountinfo) {
  std::optional<std::size_t> limit;
  while (!cgroups.empty()) {
    // "hierarchy-id:controllers:path"; v2 is "0::path".
    std::string_view path = take_until(cgroups, '\n');
    const std::string_view id = take_until(path, ':');
    const std::string_view controllers = take_until(path, ':');
    CgroupVersion version;
    if (id == "0" && controllers.empty()) {
      version = CgroupVersion::kV2;
    } else if (has_item(controllers, "cpu")) {
      version = CgroupVersion::kV1;
    } else {
      continue;
    }
    if (!path.starts_with('/')) continue;
    if (path == "/") path = {};
    const std::optional<GroupDirectory> group = find_group(version, path, mountinfo);
    if (!group) continue;
    const std::optional<std::size_t> quota = smallest_quota(version, *group);
    if (quota && (!limit || *quota < *limit)) limit = quota;
  }
  return limit;
}

std::size_t available_parallelism() {
  std::size_t cpus = affinity_count();
  if (cpus == 0) return 1;
  const std::optional<std::string> cgroups = read_file("/proc/self/cgroup");
  const std::optional<std::string> mountinfo = read_file("/proc/self/mountinfo");
  if (cgroups && mountinfo) {
    if (const std::optional<std::size_t> limit = cgroup_cpu_limit(*cgroups, *mountinfo)) {
      cpus = std::min(cpus, *limit);
    }
  }
  return cpus;
}

// One parallel_for call that workers may join. It lives on the caller's stack and sits in the
// pool's queue while workers may join it; the caller unlinks it and waits for workers_inside to
// reach 0 before returning, so no worker touches it afterwards.
struct WorkerPool::Job {
  Job(FunctionRef work, std::size_t n, std::size_t chunk, std::size_t helpers)
      : work(work), n(n), chunk(chunk), helpers(helpers) {}

  // Claims and runs ranges on `lane` until none is left or one has thrown.
  void run(std::size_t lane) noexcept {
    std::size_t begin = next.load(std::memory_order_relaxed);
    for (;;) {
      if (begin >= n || failed.load(std::memory_order_relaxed)) return;
      // Claiming by compare-exchange keeps `next` within [0, n], where fetch_add could wrap.
      const std::size_t end = begin + std::min(chunk, n - begin);
      if (!next.compare_exchange_weak(begin, end, std::memory_order_relaxed)) continue;
      try {
        work(lane, begin, end);
      } catch (...) {
        // The caller reads `error` after every worker has left the job under the pool mutex.
        if (!failed.exchange(true, std::memory_order_relaxed)) error = std::current_exception();
        return;
      }
      begin = next.load(std::memory_order_relaxed);
    }
  }

  bool claimable() const {
    return next.load(std::memory_order_relaxed) < n && !failed.load(std::memory_order_relaxed);
  }
  // Under the pool mutex: whether one more worker may join.
  bool joinable() const { return joined < helpers && claimable(); }

  const FunctionRef work;
  const std::size_t n;
  const std::size_t chunk;
  const std::size_t helpers;         // the most workers that may join
  std::atomic<std::size_t> next{0};  // the first index not yet claimed
  std::atomic<bool> failed{false};   // a range threw: claim no more
  std::exception_ptr error;          // written by the range that set `failed`
  std::size_t joined = 0;            // workers that joined, guarded by the pool mutex
  // Workers inside run(): changed under the pool mutex, read without it by the caller waiting
  // for the last ones to leave.
  std::atomic<std::size_t> workers_inside{0};
  Job* newer = nullptr;              // the queue link, guarded by the pool mutex
};

WorkerPool::WorkerPool(std::size_t threads) {
  pthread_attr_t attributes;
  if (pthread_attr_init(&attributes) != 0) return;
  // Held while the threads start: a worker that declines takes itself out of workers_, which
  // must not move meanwhile.
  std::unique_lock lock(mutex_);
  if (pthread_attr_setstacksize(&attributes, kWorkerStackSize) == 0) {
    for (std::size_t i = 0; i < threads; ++i) {
      try {
        workers_.emplace_back();
      } catch (const std::bad_alloc&) {
        break;  // a thread that cannot be recorded could never be stopped: start no more
      }
      if (pthread_create(&workers_.back(), &attributes, worker_main, this) != 0) {
        workers_.pop_back();
        break;  // out of threads or memory: later attempts would fail the same way
      }
    }
  }
  pthread_attr_destroy(&attributes);
  // Each worker makes its exception state before it counts as started or declines: waiting
  // until every worker left has started keeps that allocation ahead of the first work.
  job_left_.wait(lock, [&] { return started_ == workers_.size(); });
}

WorkerPool::~WorkerPool() {
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  job_posted_.notify_all();
  for (pthread_t worker : workers_) pthread_join(worker, nullptr);
}

void* WorkerPool::worker_main(void* pool) {
  WorkerPool& self = *static_cast<WorkerPool*>(pool);
  if (make_exception_state()) {
    self.work_loop();
  } else {
    self.decline();
  }
  return nullptr;
}

void WorkerPool::decline() {
  std::lock_guard lock(mutex_);
  const pthread_t thread = pthread_self();
  for (pthread_t& worker : workers_) {
    if (pthread_equal(worker, thread)) {
      worker = workers_.back();
      workers_.pop_back();
      break;
    }
  }
  pthread_detach(thread);  // nobody is left to join it
  job_left_.notify_all();
}

WorkerPool::Job* WorkerPool::joinable_job() const {
  for (Job* job = oldest_; job != nullptr; job = job->newer) {
    if (job->joinable()) return job;
  }
  return nullptr;
}

namespace {

// Tells the processor that the thread is spinning, where it has a way to.
inline void spin_pause() {
#if defined(__x86_64__) || defined(__i386__)
  __builtin_ia32_pause();
#elif defined(__aarch64__)
  asm volatile("yield");
#endif
}

// Spins until done() or `limit` has passed.
template <class Done>
void spin_until(Done done, std::chrono::microseconds limit) {
  const auto until = std::chrono::steady_clock::now() + limit;
  while (!done() && std::chrono::steady_clock::now() < until) {
    for (int i = 0; i < 64; ++i) spin_pause();
  }
}

// A caller that has run out of ranges spins this long for the workers still inside its job
// (running their last range) before it sleeps: far less than the two wake-ups that sleeping
// costs on common virtual machines.
constexpr std::chrono::microseconds kLeaveSpin{50};

}  // namespace

void WorkerPool::work_loop() {
  std::unique_lock lock(mutex_);
  ++started_;
  job_left_.notify_all();
  for (;;) {
    if (stopping_) return;
    Job* job = joinable_job();
    if (job == nullptr) {
      const std::uint64_t seen = posts_;
      ++sleeping_;
      job_posted_.wait(lock, [&] { return stopping_ || posts_ != seen; });
      --sleeping_;
      continue;
    }
    const std::size_t lane = ++job->joined;
    job->workers_inside.fetch_add(1, std::memory_order_relaxed);
    lock.unlock();
    job->run(lane);
    lock.lock();
    if (job->workers_inside.fetch_sub(1, std::memory_order_release) == 1) {
      job_left_.notify_all();
    }
  }
}

void WorkerPool::run_with_helpers(Job& job, bool caller_works) {
  std::size_t wake = 0;
  bool wake_all = false;
  {
    std::lock_guard lock(mutex_);
    (newest_ != nullptr ? newest_->newer : oldest_) = &job;
    newest_ = &job;
    ++posts_;
    wake = std::min(job.helpers, sleeping_);
    wake_all = wake == sleeping_;
  }
  if (wake_all && wake > 0) {
    job_posted_.notify_all();
  } else {
    for (std::size_t i = 0; i < wake; ++i) job_posted_.notify_one();
  }
  if (caller_works) {
    job.run(0);
    spin_until([&] { return job.workers_inside.load(std::memory_order_acquire) == 0; },
               kLeaveSpin);
  }
  std::unique_lock lock(mutex_);
  // A caller that works has claimed every range by now; one that does not waits until the
  // workers have, so that no later worker joins a finished job.
  job_left_.wait(lock, [&] {
    return job.workers_inside.load(std::memory_order_relaxed) == 0 && !job.claimable();
  });
  Job* previous = nullptr;
  for (Job* queued = oldest_; queued != &job; queued = queued->newer) previous = queued;
  (previous != nullptr ? previous->newer : oldest_) = job.newer;
  if (newest_ == &job) newest_ = previous;
}

void WorkerPool::parallel_for(std::size_t n, FunctionRef work, std::size_t helpers) {
  if (n == 0) return;
  const bool caller_works = workers_.empty() || has_worker_room();
  helpers = std::min(helpers, workers_.size());
  if (!caller_works) helpers = std::max<std::size_t>(helpers, 1);
  const std::size_t chunk = std::max<std::size_t>(1, n / (8 * (helpers + 1)));
  // No more helpers than ranges for them.
  const std::size_t ranges = n / chunk + (n % chunk != 0 ? 1 : 0);
  helpers = std::min(helpers, ranges - (caller_works ? 1 : 0));
  Job job(work, n, chunk, helpers);
  if (helpers == 0) {
    job.run(0);
  } else {
    run_with_helpers(job, caller_works);
  }
  if (job.error) std::rethrow_exception(job.error);
}

WorkerPool& process_pool() {
  static WorkerPool* pool = nullptr;
  static pid_t owner = 0;
  const pid_t pid = getpid();
  if (pool == nullptr || owner != pid) {
    // A pool inherited through fork() is abandoned untouched: its threads did not come along.
    pool = new WorkerPool(pool_size(std::getenv("RAYON_NUM_THREADS"),
                                    std::getenv("RAYON_RS_NUM_CPUS"), available_parallelism()));
    owner = pid;
  }
  return *pool;
}

}  // namespace morvane::bindings
