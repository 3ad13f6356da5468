// The C++ runtime's exception state of a thread, made before the thread's first throw.
//
// A throw reads the thread's exception globals, which the C++ runtime keeps in thread-local
// storage of its own. The C library allocates that storage on the thread's first use of it and,
// when the allocation fails, aborts the process instead of failing softly; so the first throw
// after memory has run out would end the process. Every thread that may throw therefore makes
// that state first, while it can still decline: the pool's workers when they start, and every
// thread that calls into the module when it enters.
//
// Python-free; safe to call from any thread.
#pragma once

namespace morvane::bindings {

// Makes the calling thread's exception state, unless it was made before. False, with nothing
// made, when memory for it cannot be had: the thread must then run nothing that may throw.
bool make_exception_state() noexcept;

}  // namespace morvane::bindings
