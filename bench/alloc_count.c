/* Counts heap allocations of a process: LD_PRELOAD it and name a file in QUILLEX_ALLOC_LOG; at
 * exit the count of malloc, calloc, realloc and aligned allocations (operator new ends in malloc)
 * is written there. The real allocator is glibc's, reached through its __libc_ entry points so
 * that no lookup can itself allocate. */
#define _GNU_SOURCE
#include <stdatomic.h>
#include <stdio.h>
#include <stdlib.h>

extern void* __libc_malloc(size_t size);
extern void* __libc_calloc(size_t count, size_t size);
extern void* __libc_realloc(void* pointer, size_t size);
extern void* __libc_memalign(size_t alignment, size_t size);

static atomic_ulong allocations;

void* malloc(size_t size) {
  atomic_fetch_add(&allocations, 1);
  return __libc_malloc(size);
}

void* calloc(size_t count, size_t size) {
  atomic_fetch_add(&allocations, 1);
  return __libc_calloc(count, size);
}

void* realloc(void* pointer, size_t size) {
  atomic_fetch_add(&allocations, 1);
  return __libc_realloc(pointer, size);
}

int posix_memalign(void** result, size_t alignment, size_t size) {
  atomic_fetch_add(&allocations, 1);
  *result = __libc_memalign(alignment, size);
  return *result ? 0 : 12; /* ENOMEM */
}

void* aligned_alloc(size_t alignment, size_t size) {
  atomic_fetch_add(&allocations, 1);
  return __libc_memalign(alignment, size);
}

__attribute__((destructor)) static void Report(void) {
  const char* path = getenv("QUILLEX_ALLOC_LOG");
  if (path == NULL) return;
  FILE* log = fopen(path, "w");
  if (log == NULL) return;
  fprintf(log, "%lu\n", (unsigned long)atomic_load(&allocations));
  fclose(log);
}
