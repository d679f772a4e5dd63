#pragma once
// Asking the memory for bytes before they are needed, so that waits for several
// cache misses overlap instead of following one another.

namespace xbase::detail {

// Asks for the cache line that holds p. The empty volatile statement is there
// because the compiler takes a function that does nothing but prefetch for one
// without effect and drops the calls to it.
inline void PrefetchLine(const void* p) {
  __builtin_prefetch(p);
  asm volatile("" : : "r"(p));
}

// Asks for every line of [p, p + bytes).
inline void PrefetchBytes(const void* p, unsigned long bytes) {
  const char* at = static_cast<const char*>(p);
  for (unsigned long line = 0; line < bytes; line += 64) PrefetchLine(at + line);
  if (bytes > 0) PrefetchLine(at + bytes - 1);
}

}  // namespace xbase::detail
