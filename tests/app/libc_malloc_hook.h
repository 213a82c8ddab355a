#pragma once
// Replaces malloc, calloc and realloc with the C library's own, calling
// `noteAllocation()` first, which the including program defines (in the
// global namespace). Include it in one file of a program that is not built
// with a sanitizer: a sanitizer owns malloc and offers its own hook.
#include <cstddef>

void noteAllocation();

extern "C" {
void* __libc_malloc(std::size_t);
void* __libc_calloc(std::size_t, std::size_t);
void* __libc_realloc(void*, std::size_t);
void* malloc(std::size_t size) {
  noteAllocation();
  return __libc_malloc(size);
}
void* calloc(std::size_t count, std::size_t size) {
  noteAllocation();
  return __libc_calloc(count, size);
}
void* realloc(void* p, std::size_t size) {
  noteAllocation();
  return __libc_realloc(p, size);
}
}
