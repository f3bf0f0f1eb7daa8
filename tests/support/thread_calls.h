// Counts, per thread, the calls a real-time thread must never make: heap
// allocations and frees (malloc, calloc, realloc, free, and so operator new
// and delete), mutex locks (pthread_mutex_lock and trylock) and file writes
// (write, pwrite, writev, fwrite, fputs, fflush). A program that links
// tonewell_test_thread_calls gets the counting versions of these calls;
// they count only between start_counting() and stop_counting().
#pragma once

#include <sys/types.h>

#include <optional>

namespace test_support {

struct ThreadCalls {
  long allocations = 0;
  long frees = 0;
  long locks = 0;
  long writes = 0;
};

void start_counting();
void stop_counting();

// The calls counted on thread `tid` (0 for none counted).
ThreadCalls calls_of(pid_t tid);

// The thread of this process with the name `name`, if one runs now.
std::optional<pid_t> thread_named(const char* name);

}  // namespace test_support
