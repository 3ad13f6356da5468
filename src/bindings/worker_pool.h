// The worker pool that runs batch validation in parallel, and the process's one pool.
//
// A WorkerPool owns a fixed set of threads, each with a kWorkerStackSize stack (the recognizer,
// builder and validator depth limits are sized for it). parallel_for splits [0, n) into ranges
// that the calling thread and the workers it lets help claim one at a time; a caller with a
// stack like a worker's works on its own call, so the call completes even when every worker is
// busy or none could be started. Each range is handed the lane of the thread that runs it, so
// a call can give every thread state of its own, owned by the call. The pool uses only the C
// and C++ runtimes and changes no process-wide setting (no signal masks, no fork handlers).
//
// Python-free: the bindings release the interpreter lock around parallel_for, and the work they
// pass touches no Python object.
#pragma once

#include <pthread.h>

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string_view>
#include <type_traits>
#include <vector>

namespace morvane::bindings {

// The stack each worker thread gets.
inline constexpr std::size_t kWorkerStackSize = std::size_t{2} << 20;

// The pool size from the two environment values (nullptr: variable absent) and the processor
// count. Each value counts only as a decimal integer: an optional '+', then digits only, no
// spaces, fitting std::size_t. RAYON_NUM_THREADS positive gives that size and 0 gives
// `available`; absent or not such an integer, RAYON_RS_NUM_CPUS positive gives that size.
// Otherwise `available`.
std::size_t pool_size(const char* rayon_num_threads, const char* rayon_rs_num_cpus,
                      std::size_t available);

// The processors available to this process: the CPU affinity count, capped by the control-group
// CPU quota when one is set (cgroup_cpu_limit over /proc/self/cgroup and /proc/self/mountinfo).
// 1 when the affinity cannot be read.
std::size_t available_parallelism();

// The tightest CPU quota on the process's control groups: for each hierarchy that carries the
// cpu controller (v2 `cpu.max`, v1 `cpu.cfs_quota_us` and `cpu.cfs_period_us`), the directory of
// the process's group is found by matching `cgroups` (the text of /proc/self/cgroup) against the
// mounts in `mountinfo` (the text of /proc/self/mountinfo), and the quota files are read in that
// directory and in each parent up to the mount point. Each quota counts as quota / period rounded
// down, at least 1; the smallest wins. Nothing when no quota is set or nothing can be read.
std::optional<std::size_t> cgroup_cpu_limit(std::string_view cgroups, std::string_view mountinfo);

// A non-owning reference to a callable taking a lane and a [begin, end) range of indices.
// Copying it copies the reference, never the callable, so passing a lambda to parallel_for
// allocates nothing; the callable must outlive every call made through the reference.
class FunctionRef {
 public:
  template <class F>
    requires(!std::is_same_v<std::remove_cvref_t<F>, FunctionRef> &&
             std::is_invocable_v<F&, std::size_t, std::size_t, std::size_t>)
  FunctionRef(F&& callable) noexcept  // implicit, so a lambda converts at the call
      : callable_(const_cast<void*>(static_cast<const void*>(std::addressof(callable)))),
        call_([](void* callable, std::size_t lane, std::size_t begin, std::size_t end) {
          (*static_cast<std::remove_reference_t<F>*>(callable))(lane, begin, end);
        }) {}

  void operator()(std::size_t lane, std::size_t begin, std::size_t end) const {
    call_(callable_, lane, begin, end);
  }

 private:
  void* callable_;
  void (*call_)(void*, std::size_t, std::size_t, std::size_t);
};

// Whether the calling thread's stack has room for work the size of a worker's whole stack: a
// caller that has not (a thread after threading.stack_size(), a main thread under a small
// `ulimit -s`) runs no batch work itself.
bool has_worker_room();

class WorkerPool {
 public:
  // Starts up to `threads` workers. A thread that cannot be started is simply not there (nor
  // any after it), and so is one that cannot make its exception state (make_exception_state),
  // memory having run out; the pool still works, the calling thread doing the work.
  explicit WorkerPool(std::size_t threads);
  // Stops the workers and waits for them to end. No parallel_for may be running.
  ~WorkerPool();
  WorkerPool(const WorkerPool&) = delete;
  WorkerPool& operator=(const WorkerPool&) = delete;

  // Calls work(lane, begin, end) over disjoint non-empty ranges covering [0, n), each index
  // exactly once, on the calling thread and on at most `helpers` workers, and returns only
  // when every range is done; every write the work made is then visible to the caller. `work`
  // is called from several threads at once. The calling thread runs on lane 0 and the workers
  // that join the call on lanes 1, 2, ... in the order they join, so `lane` is at most the
  // number of helpers (and below lanes()) and no two threads of one call share a lane. If it
  // throws, ranges not yet started are skipped and the first exception is rethrown here once
  // the running ranges have finished. The calling thread has made its exception state, as
  // every call from Python has on entering the module.
  //
  // With no helpers the calling thread runs the whole call alone, touching nothing shared.
  // Otherwise it wakes as many sleeping workers as may join (no more than there are ranges
  // for the others to take); a worker that wakes to find nothing left to claim leaves without
  // the caller waiting for it. A calling thread without has_worker_room() runs no range
  // itself: it waits for the workers (at least one helps), so that a call's results do not
  // depend on which thread ran each range. Without workers the caller runs everything.
  //
  // Any number of threads may call this at once, and work may call it again: each call queues
  // its own job, idle workers help the oldest job first, and a caller with room works its own
  // job to the end, so no call waits on another.
  void parallel_for(std::size_t n, FunctionRef work, std::size_t helpers = SIZE_MAX);

  // The workers that started.
  std::size_t threads() const { return workers_.size(); }
  // The lanes a call's work may see: one per worker and one for the calling thread.
  std::size_t lanes() const { return workers_.size() + 1; }

 private:
  struct Job;

  static void* worker_main(void* pool);
  void work_loop();
  // Run instead of work_loop by a worker whose exception state cannot be made: it leaves the
  // workers before it counts as started, and ends.
  void decline();
  Job* joinable_job() const;
  void run_with_helpers(Job& job, bool caller_works);

  std::vector<pthread_t> workers_;
  std::mutex mutex_;
  std::condition_variable job_posted_;  // a job joined the queue, or the pool is stopping
  std::condition_variable job_left_;    // a worker left a job, or started
  // The queue of jobs, oldest first, linked through Job::newer. Guarded by mutex_.
  Job* oldest_ = nullptr;
  Job* newest_ = nullptr;
  bool stopping_ = false;  // guarded by mutex_
  // Workers past their start-up, workers waiting for a job, and the jobs posted so far (a
  // sleeper wakes for a post). Guarded by mutex_.
  std::size_t started_ = 0;
  std::size_t sleeping_ = 0;
  std::uint64_t posts_ = 0;
};

// The process's pool, sized pool_size(RAYON_NUM_THREADS, RAYON_RS_NUM_CPUS,
// available_parallelism()) on first use. Callers hold the Python interpreter lock, which
// serialises this function. The pool is never destroyed: its workers sleep until the process
// exits, so interpreter exit neither joins nor waits on them. In a child made by fork() the
// inherited pool has no threads and its mutex may be held by a thread that does not exist
// there, so it is left untouched (leaked) and a new pool is made.
WorkerPool& process_pool();

}  // namespace morvane::bindings
