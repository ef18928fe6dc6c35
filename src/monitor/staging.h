// The file entries of the directories being read, and their names, until
// each directory's array takes them over in one block change.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "platform/dir_search.h"

class Staging {
  public:
    size_t Count() const { return current_ ? chunk_ * kChunk + at_ : 0; }

    // Calls `take(size, time, units)` for each entry from `from` on, in order.
    template <class Take>
    void ForEach(size_t from, Take&& take) const {
        const size_t count = Count();
        for (size_t i = from; i < count;) {
            const Entry* entries = chunks_[i / kChunk]->entries;
            const size_t end = std::min(count, (i / kChunk + 1) * kChunk);
            for (size_t at = i % kChunk; i < end; ++i, ++at)
                take(entries[at].size, entries[at].written, entries[at].units);
        }
    }

    // The names of the entries: a listing puts each name here, and staging
    // its entry keeps it.
    platform::NameBuffer& Names() { return names_; }

    // Asked once per file: the common path only stores and moves on. The
    // file's name, of `units` (file systems name entries in at most 255), is
    // the one the listing put last.
    void Push(uint64_t size, uint64_t time, size_t units) {
        if (at_ == kChunk) NextChunk();
        current_->entries[at_++] = {size, time, static_cast<uint16_t>(units)};
        names_.Keep(units + 1);
    }

    // Room for files that a listing stages in bulk: the rest of the current
    // chunk, or a new one, and names up to unit `namesUpTo`.
    platform::FileRoom Room(size_t namesUpTo) {
        if (at_ == kChunk) NextChunk();
        return {current_->entries + at_, current_->entries + kChunk, namesUpTo};
    }
    // Stages what a listing put into `room` (their names are kept already);
    // whether it put any.
    bool Taken(const platform::FileRoom& room) {
        const auto at = static_cast<size_t>(room.next - current_->entries);
        const bool any = at != at_;
        at_ = at;
        return any;
    }

    // Forgets the entries from `count` on and the names from unit `units` on.
    // A few chunks stay for the next directories: reading one of few files
    // allocates nothing here.
    void Truncate(size_t count, size_t units) {
        names_.Drop(units);
        chunk_ = count / kChunk;
        at_ = count % kChunk;
        if (at_ == 0 && chunk_ > 0) --chunk_, at_ = kChunk;  // at the end of a full chunk
        chunks_.resize(std::max(count ? chunk_ + 1 : 0, std::min(chunks_.size(), kKept)));
        current_ = chunks_.empty() ? nullptr : chunks_[chunk_].get();
        if (!current_) at_ = kChunk;  // the first entry opens a chunk
    }

  private:
    // In pieces, so that a directory of many files needs no second copy of
    // its entries in one piece. An entry's fields lie together, so that
    // staging it between two system calls touches one cache line, not
    // three; packed, they waste nothing on padding.
    static constexpr size_t kChunk = 1024;
    static constexpr size_t kKept = 2;
    using Entry = platform::FileFacts;
    static_assert(sizeof(Entry) == 18);
    struct Chunk {
        Entry entries[kChunk];
    };

    void NextChunk() {
        const size_t chunk = current_ ? chunk_ + 1 : 0;
        if (chunk == chunks_.size()) chunks_.push_back(std::make_unique_for_overwrite<Chunk>());
        chunk_ = chunk;
        current_ = chunks_[chunk].get();
        at_ = 0;
    }

    std::vector<std::unique_ptr<Chunk>> chunks_;
    Chunk* current_ = nullptr;  // the chunk being filled, chunks_[chunk_]
    size_t chunk_ = 0;
    size_t at_ = kChunk;  // the next entry's place in it
    platform::NameBuffer names_;
};
