#include "largest_allocation.h"

#include <cstdlib>
#include <new>

namespace {

size_t largest = 0;
bool watching = false;

void* Take(size_t bytes) noexcept {
    if (watching && bytes > largest) largest = bytes;
    return std::malloc(bytes ? bytes : 1);
}

}  // namespace

namespace fuzz {

void WatchAllocations() {
    largest = 0;
    watching = true;
}

size_t LargestAllocation() {
    watching = false;
    return largest;
}

}  // namespace fuzz

void* operator new(size_t bytes) {
    if (void* memory = Take(bytes)) return memory;
    throw std::bad_alloc();
}
void* operator new[](size_t bytes) { return operator new(bytes); }
void* operator new(size_t bytes, const std::nothrow_t&) noexcept { return Take(bytes); }
void* operator new[](size_t bytes, const std::nothrow_t&) noexcept { return Take(bytes); }
void operator delete(void* memory) noexcept { std::free(memory); }
void operator delete[](void* memory) noexcept { std::free(memory); }
void operator delete(void* memory, size_t) noexcept { std::free(memory); }
void operator delete[](void* memory, size_t) noexcept { std::free(memory); }
void operator delete(void* memory, const std::nothrow_t&) noexcept { std::free(memory); }
void operator delete[](void* memory, const std::nothrow_t&) noexcept { std::free(memory); }
