#include "tests/support/thread_calls.h"

#include <dirent.h>
#include <dlfcn.h>
#include <pthread.h>
#include <sys/uio.h>
#include <unistd.h>

#include <array>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#if defined(__SANITIZE_ADDRESS__)
// The sanitizer's allocator calls these on every allocation and free.
extern "C" int __sanitizer_install_malloc_and_free_hooks(void (*on_malloc)(const volatile void*,
                                                                           size_t),
                                                         void (*on_free)(const volatile void*));
#endif

namespace {

enum Kind { allocation, release, lock, write_call, kinds };

struct Slot {
  std::atomic<pid_t> tid{0};
  std::array<std::atomic<long>, kinds> counts{};
};

// Threads seen, found by their id (open addressing); a process with more
// threads than slots counts the rest nowhere.
constexpr std::size_t slot_count = 512;
std::array<Slot, slot_count> slots;
std::atomic<bool> counting{false};

Slot* slot_of(pid_t tid, bool add) {
  for (std::size_t probe = 0; probe < slot_count; ++probe) {
    Slot& slot = slots[(static_cast<std::size_t>(tid) + probe) % slot_count];
    pid_t seen = slot.tid.load(std::memory_order_acquire);
    if (seen == tid) return &slot;
    if (seen == 0) {
      if (!add) return nullptr;
      if (slot.tid.compare_exchange_strong(seen, tid) || seen == tid) return &slot;
    }
  }
  return nullptr;
}

void count(Kind kind) {
  if (!counting.load(std::memory_order_relaxed)) return;
  if (Slot* slot = slot_of(gettid(), true))
    slot->counts[kind].fetch_add(1, std::memory_order_relaxed);
}

// The next definition of a call, found before main while nothing counts.
template <typename Function>
Function next(const char* name) {
  return reinterpret_cast<Function>(dlsym(RTLD_NEXT, name));
}

using LockFn = int (*)(pthread_mutex_t*);
using WriteFn = ssize_t (*)(int, const void*, size_t);
using PwriteFn = ssize_t (*)(int, const void*, size_t, off_t);
using WritevFn = ssize_t (*)(int, const iovec*, int);
using FwriteFn = size_t (*)(const void*, size_t, size_t, FILE*);
using FputsFn = int (*)(const char*, FILE*);
using FflushFn = int (*)(FILE*);

struct Next {
  LockFn mutex_lock = next<LockFn>("pthread_mutex_lock");
  LockFn mutex_trylock = next<LockFn>("pthread_mutex_trylock");
  WriteFn write = next<WriteFn>("write");
  PwriteFn pwrite = next<PwriteFn>("pwrite64");
  WritevFn writev = next<WritevFn>("writev");
  FwriteFn fwrite = next<FwriteFn>("fwrite");
  FputsFn fputs = next<FputsFn>("fputs");
  FflushFn fflush = next<FflushFn>("fflush");
};

// Found on first use, which comes before main (the loader and the static
// constructors lock and write); found again, harmlessly, by a second
// thread that races the first.
const Next& real() {
  static const Next found;
  return found;
}

#if defined(__SANITIZE_ADDRESS__)
void on_malloc(const volatile void*, size_t) { count(allocation); }
void on_free(const volatile void*) { count(release); }
const int hooks_installed = __sanitizer_install_malloc_and_free_hooks(on_malloc, on_free);
#endif

const Next& resolved_early = real();

}  // namespace

#if !defined(__SANITIZE_ADDRESS__)
extern "C" {
void* __libc_malloc(size_t);
void* __libc_calloc(size_t, size_t);
void* __libc_realloc(void*, size_t);
void __libc_free(void*);

void* malloc(size_t size) {
  count(allocation);
  return __libc_malloc(size);
}
void* calloc(size_t count_of, size_t size) {
  count(allocation);
  return __libc_calloc(count_of, size);
}
void* realloc(void* old, size_t size) {
  count(allocation);
  return __libc_realloc(old, size);
}
void free(void* block) {
  if (block != nullptr) count(release);
  __libc_free(block);
}
}
#endif

extern "C" {
int pthread_mutex_lock(pthread_mutex_t* mutex) {
  count(lock);
  return real().mutex_lock(mutex);
}
int pthread_mutex_trylock(pthread_mutex_t* mutex) {
  count(lock);
  return real().mutex_trylock(mutex);
}
ssize_t write(int fd, const void* bytes, size_t size) {
  count(write_call);
  return real().write(fd, bytes, size);
}
ssize_t pwrite64(int fd, const void* bytes, size_t size, off_t offset) {
  count(write_call);
  return real().pwrite(fd, bytes, size, offset);
}
ssize_t pwrite(int fd, const void* bytes, size_t size, off_t offset) {
  count(write_call);
  return real().pwrite(fd, bytes, size, offset);
}
ssize_t writev(int fd, const iovec* pieces, int count_of) {
  count(write_call);
  return real().writev(fd, pieces, count_of);
}
size_t fwrite(const void* bytes, size_t size, size_t items, FILE* file) {
  count(write_call);
  return real().fwrite(bytes, size, items, file);
}
int fputs(const char* text, FILE* file) {
  count(write_call);
  return real().fputs(text, file);
}
int fflush(FILE* file) {
  count(write_call);
  return real().fflush(file);
}
}

namespace test_support {

void start_counting() {
#if defined(__SANITIZE_ADDRESS__)
  static_cast<void>(hooks_installed);
#endif
  static_cast<void>(resolved_early);
  counting.store(true);
}

void stop_counting() { counting.store(false); }

ThreadCalls calls_of(pid_t tid) {
  const Slot* slot = slot_of(tid, false);
  if (slot == nullptr) return {};
  return ThreadCalls{slot->counts[allocation].load(), slot->counts[release].load(),
                     slot->counts[lock].load(), slot->counts[write_call].load()};
}

std::optional<pid_t> thread_named(const char* name) {
  DIR* tasks = opendir("/proc/self/task");
  if (tasks == nullptr) return std::nullopt;
  std::optional<pid_t> found;
  while (const dirent* entry = readdir(tasks)) {
    if (entry->d_name[0] == '.') continue;
    char path[300];
    std::snprintf(path, sizeof path, "/proc/self/task/%s/comm", entry->d_name);
    FILE* comm = std::fopen(path, "r");
    if (comm == nullptr) continue;
    char line[32] = {};
    if (std::fgets(line, sizeof line, comm) != nullptr) {
      line[std::strcspn(line, "\n")] = '\0';
      if (std::strcmp(line, name) == 0) found = static_cast<pid_t>(std::atoi(entry->d_name));
    }
    std::fclose(comm);
  }
  closedir(tasks);
  return found;
}

}  // namespace test_support
