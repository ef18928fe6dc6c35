#include "monitor/dyna_array.h"

#include <algorithm>
#include <cstring>
#include <string>

#include "platform/memory.h"

TDynaArray::~TDynaArray() {
    if (poi) platform::FreeBlock(poi);
    aobj = nullptr;
    aobjnr = -1;
}

void TDynaArray::Publish() {
    // The owner's variable is a typed record pointer; copying the bytes keeps
    // the array free of the owner's record type.
    if (outeraobj) std::memcpy(outeraobj, &aobj, sizeof aobj);
}

void TDynaArray::SetCursor(int32_t index) {
    aobjnr = index;
    aobj = Record(static_cast<uint32_t>(index));
    Publish();
}

void TDynaArray::ClearCursor() {
    aobjnr = -1;
    aobj = nullptr;
    Publish();
}

uint64_t TDynaArray::FittingBlock(uint32_t records) const {
    uint64_t steps = (records - 1) / buffersize + 1;
    return steps * size * buffersize;
}

bool TDynaArray::Reblock(uint64_t bytes, int errornr) {
    // amemsize is 32 bits wide: a larger block counts as one we cannot have.
    void* block =
        bytes <= UINT32_MAX ? platform::AllocZeroedBlock(static_cast<size_t>(bytes)) : nullptr;
    if (!block) {
        std::string text = "Error " + std::to_string(errornr) + " while trying to allocate " +
                           std::to_string(bytes) + " bytes of RAM. Not enough memory.";
        platform::ShowOutOfMemory(text.c_str());
        return false;
    }
    if (poi) {
        // After a failed shrink the old block may be larger than the new one.
        std::memcpy(block, poi, std::min<uint64_t>(amemsize, bytes));
        platform::FreeBlock(poi);
    }
    poi = block;
    amemsize = static_cast<uint32_t>(bytes);
    return true;
}

TDynaArray::Fit TDynaArray::FitMore() {
    uint64_t bytes = FittingBlock(count);
    if (bytes == amemsize) return Fit::Same;
    return Reblock(bytes, poi ? 2 : 1) ? Fit::NewBlock : Fit::Failed;
}

bool TDynaArray::AllocMoreMem() {
    return FitMore() == Fit::NewBlock;
}

void TDynaArray::AllocLessMem() {
    if (count == 0) {
        if (poi) platform::FreeBlock(poi);
        poi = nullptr;
        amemsize = 0;
        return;
    }
    uint64_t bytes = FittingBlock(count);
    // A failed shrink keeps the larger block, which still holds every record.
    if (bytes != amemsize) Reblock(bytes, 3);
}

void* TDynaArray::GetObject(uint32_t index) {
    SetCursor(static_cast<int32_t>(index));
    return aobj;
}

void* TDynaArray::Add() {
    ++count;
    Fit fit = FitMore();
    if (fit == Fit::Failed) {
        --count;
        return nullptr;
    }
    // Within the same block the slot may still hold a deleted record's bytes.
    if (fit == Fit::Same) std::memset(Record(count - 1), 0, size);
    SetCursor(static_cast<int32_t>(count - 1));
    return aobj;
}

void* TDynaArray::AddMany(uint32_t n) {
    if (n == 0) return nullptr;
    uint32_t first = count;
    if (first + n < first) return nullptr;
    uint64_t bytes = FittingBlock(first + n);
    // Slots past the count may hold deleted records' bytes, in the block or
    // copied from it; the rest of a new block is zeroed already.
    const uint64_t stale = std::min<uint64_t>(amemsize, uint64_t{first + n} * size);
    if (bytes != amemsize && !Reblock(bytes, poi ? 2 : 1)) return nullptr;
    if (stale > uint64_t{first} * size)
        std::memset(Record(first), 0, static_cast<size_t>(stale - uint64_t{first} * size));
    count = first + n;
    SetCursor(static_cast<int32_t>(count - 1));
    return Record(first);
}

void* TDynaArray::Insert(int32_t nr) {
    if (nr < 0 || static_cast<uint32_t>(nr) > count) return nullptr;
    ++count;
    if (FitMore() == Fit::Failed) {
        --count;
        return nullptr;
    }
    std::memmove(Record(nr + 1), Record(nr), size_t{count - nr - 1} * size);
    std::memset(Record(nr), 0, size);
    SetCursor(nr);
    return aobj;
}

void TDynaArray::Delete(int32_t nr) {
    if (nr < 0 || static_cast<int64_t>(nr) > static_cast<int64_t>(count) - 1) return;
    for (uint32_t k = nr; k + 1 < count; ++k) std::memcpy(Record(k), Record(k + 1), size);
    --count;
    AllocLessMem();
    ClearCursor();
}

void TDynaArray::Change(int32_t nr1, int32_t nr2) {
    auto inside = [this](int32_t nr) { return nr >= 0 && static_cast<uint32_t>(nr) < count; };
    if (!inside(nr1) || !inside(nr2)) return;
    if (nr1 != nr2) {
        std::string temp(size, '\0');
        std::memcpy(temp.data(), Record(nr1), size);
        std::memcpy(Record(nr1), Record(nr2), size);
        std::memcpy(Record(nr2), temp.data(), size);
    }
    SetCursor(nr2);
}

void TDynaArray::Clear() {
    count = 0;
    if (poi) platform::FreeBlock(poi);
    poi = nullptr;
    amemsize = 0;
    ClearCursor();
}

void TDynaArray::First() {
    if (count == 0) return;
    SetCursor(0);
}

bool TDynaArray::Next() {
    if (count == 0 || aobjnr < -1 ||
        static_cast<int64_t>(aobjnr) >= static_cast<int64_t>(count) - 1)
        return false;
    SetCursor(aobjnr + 1);
    return true;
}

bool TDynaArray::WhileNext() {
    if (count == 0 || aobjnr < 0 || static_cast<uint32_t>(aobjnr) > count - 1) return false;
    SetCursor(aobjnr);
    ++aobjnr;
    return true;
}
