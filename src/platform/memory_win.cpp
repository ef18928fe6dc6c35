#include <windows.h>

#include "platform/memory.h"
#include "base/text.h"
#include "platform/wide.h"

namespace platform {

void* AllocZeroedBlock(size_t bytes) { return GlobalAlloc(GMEM_FIXED | GMEM_ZEROINIT, bytes); }

void FreeBlock(void* block) { GlobalFree(block); }

void ShowOutOfMemory(const char* text) {
    MessageBoxW(nullptr, AsWide(base::Utf8ToUtf16(text)).c_str(), nullptr, MB_OK | MB_ICONERROR);
}

}  // namespace platform
