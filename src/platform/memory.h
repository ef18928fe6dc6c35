// Zeroed memory blocks for the record array, and its out-of-memory report.
#pragma once

#include <cstddef>
#include <functional>

namespace platform {

// A block of `bytes` zero bytes, or null when the system cannot supply it.
void* AllocZeroedBlock(size_t bytes);
void FreeBlock(void* block);

// The system's own error box (no owner, default caption, stop icon, OK).
void ShowOutOfMemory(const char* text);

// Test hooks of the portable build: make the next `n` block allocations fail,
// read the last out-of-memory text (empty when none since the last call), and
// run `loop` while an out-of-memory box is open, as the box's own message
// loop would (null: nothing runs).
void FailNextBlockAllocs(int n);
const char* TakeOutOfMemoryText();
void WhileOutOfMemoryShown(std::function<void()> loop);

}  // namespace platform
