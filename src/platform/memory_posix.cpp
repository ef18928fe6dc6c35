#include <cstdio>
#include <cstdlib>
#include <string>
#include <utility>

#include "platform/memory.h"

namespace platform {
namespace {
int failures = 0;
std::string lastText;
std::function<void()> boxLoop;
}  // namespace

void* AllocZeroedBlock(size_t bytes) {
    if (failures > 0) {
        --failures;
        return nullptr;
    }
    return std::calloc(1, bytes);
}

void FreeBlock(void* block) { std::free(block); }

void ShowOutOfMemory(const char* text) {
    lastText = text;
    std::fprintf(stderr, "%s\n", text);
    if (boxLoop) boxLoop();
}

void FailNextBlockAllocs(int n) { failures = n; }

void WhileOutOfMemoryShown(std::function<void()> loop) { boxLoop = std::move(loop); }

const char* TakeOutOfMemoryText() {
    static std::string taken;
    taken = std::move(lastText);
    lastText.clear();
    return taken.c_str();
}

}  // namespace platform
