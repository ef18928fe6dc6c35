// "Valmorin.log": what monitoring did, a line per event with the local time,
// in UTF-8. Lines wait in memory and go to the file in one append when the
// program has a moment; the file is bounded, its previous part kept beside
// it. A log that cannot be written loses lines, never stops anything.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

class EventLog {
  public:
    static constexpr uint64_t kLimit = 1u << 20;  // bytes before the file starts anew

    // `folder` ends in a backslash; empty: nothing is written.
    void Open(std::u16string_view folder);
    void Write(std::u16string_view line);
    void Flush();

    // "2026-12-11T04:05:06+01:00" for a moment given in seconds since 1970
    // (UTC) and the local time's offset from UTC in seconds.
    static std::string LocalStamp(int64_t unixSeconds, int64_t offsetSeconds);

  private:
    std::u16string path_;
    std::string pending_;
    uint64_t size_ = 0;  // of the file as last written
    bool sized_ = false;
};
