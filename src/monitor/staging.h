// The file entries of the directories being read, until each directory's
// array takes them over in one block change.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

class Staging {
  public:
    size_t Count() const { return count_; }
    // `units` is the length of the entry's name: file systems name entries
    // in at most 255 units.
    void Push(uint64_t size, uint64_t time, uint16_t units) {
        if (count_ == chunks_.size() * kChunk) chunks_.push_back(std::make_unique<Chunk>());
        Chunk& chunk = *chunks_[count_ / kChunk];
        const size_t at = count_ % kChunk;
        chunk.sizes[at] = size;
        chunk.times[at] = time;
        chunk.units[at] = units;
        ++count_;
    }
    // Forgets the entries from `count` on. A few chunks stay for the next
    // directories: reading one of few files allocates nothing here.
    void Truncate(size_t count) {
        count_ = count;
        chunks_.resize(std::max((count + kChunk - 1) / kChunk, std::min(chunks_.size(), kKept)));
    }
    uint64_t Size(size_t i) const { return chunks_[i / kChunk]->sizes[i % kChunk]; }
    uint64_t Time(size_t i) const { return chunks_[i / kChunk]->times[i % kChunk]; }
    uint16_t Units(size_t i) const { return chunks_[i / kChunk]->units[i % kChunk]; }

  private:
    // In pieces, so that a directory of many files needs no second copy of
    // its entries in one piece.
    static constexpr size_t kChunk = 1024;
    static constexpr size_t kKept = 2;
    struct Chunk {
        uint64_t sizes[kChunk];
        uint64_t times[kChunk];
        uint16_t units[kChunk];
    };
    std::vector<std::unique_ptr<Chunk>> chunks_;
    size_t count_ = 0;
};
