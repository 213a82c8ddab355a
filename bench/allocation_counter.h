#pragma once
// Counts heap allocations made through the global operator new while a
// scope is open. The benchmark binary replaces operator new to do so.
#include <cstddef>

namespace pelmora::bench {

class AllocationScope {
 public:
  AllocationScope();
  ~AllocationScope();
  AllocationScope(const AllocationScope&) = delete;
  AllocationScope& operator=(const AllocationScope&) = delete;

  std::size_t count() const;

 private:
  std::size_t start_;
};

}  // namespace pelmora::bench
