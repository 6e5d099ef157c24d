// Allocations made by this process, counted by a replaced global allocator
// (every operator new, and malloc, calloc and realloc from any module).
#pragma once

namespace vek::bench {

long allocations();

}  // namespace vek::bench
