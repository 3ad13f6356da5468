// How far down the calling thread's stack recursion may go. The recognizer, the builder and the
// validator each check a StackBound where they recurse, besides their depth limits, so that a
// thread with a small stack (a Python thread after threading.stack_size(), a worker) meets the
// nesting error instead of overflowing. On ordinary stacks the depth limits come first. The
// Python module checks one too, with a reserve of its own, where each call enters it.
#pragma once

#include <cstddef>
#include <cstdint>

namespace morvane::parser {

// The stack every check keeps free below the frame making it: room for the work between two
// checks (a rule body, a stretch of the builder or the validator) and for what runs after the
// last one (the error report, suggestions, correction). Sanitizers enlarge every frame.
#if defined(__SANITIZE_ADDRESS__)
inline constexpr std::size_t kStackReserve = std::size_t{64} << 10;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
inline constexpr std::size_t kStackReserve = std::size_t{64} << 10;
#else
inline constexpr std::size_t kStackReserve = std::size_t{32} << 10;
#endif
#else
inline constexpr std::size_t kStackReserve = std::size_t{32} << 10;
#endif

class StackBound {
 public:
  // No bound: only the depth limits apply.
  StackBound() = default;

  // The bound for frames of the calling thread: `reserve` above the low end of its stack, which
  // is looked up on the thread's first call and kept in thread-specific data. A caller running
  // on a stack of its own (a coroutine's) or on a stack that cannot be found gets no bound.
  static StackBound of_current_thread(std::size_t reserve = kStackReserve);

  // Whether the calling frame lies within the reserve of the low end of the stack.
  [[gnu::always_inline]] bool reached() const { return stack_pointer() < floor_; }

  // The stack the calling frame has above the bound: 0 once reached, and as much as the
  // address space holds when there is no bound.
  std::size_t room() const {
    const std::uintptr_t sp = stack_pointer();
    return sp > floor_ ? sp - floor_ : 0;
  }

 private:
  explicit StackBound(std::uintptr_t floor) : floor_(floor) {}
  // Read from the register where the target is known: asking for the frame's address would
  // give every recursive function a frame pointer, and a local's address a stack slot. Other
  // targets take the frame's address, which lies as close to the stack's end.
  [[gnu::always_inline]] static std::uintptr_t stack_pointer() {
    std::uintptr_t sp;
#if defined(__x86_64__)
    asm("mov %%rsp, %0" : "=r"(sp));
#elif defined(__aarch64__)
    asm("mov %0, sp" : "=r"(sp));
#else
    sp = reinterpret_cast<std::uintptr_t>(__builtin_frame_address(0));
#endif
    return sp;
  }
  std::uintptr_t floor_ = 0;
};

}  // namespace morvane::parser
