#include "monitor/event_log.h"

#include <chrono>
#include <cstdio>

#include "base/text.h"
#include "platform/dir_search.h"
#include "platform/file.h"

namespace {

// Days since 1970-01-01 to a civil date (proleptic Gregorian).
void CivilFromDays(int64_t days, int64_t& year, unsigned& month, unsigned& day) {
    days += 719468;
    const int64_t era = (days >= 0 ? days : days - 146096) / 146097;
    const auto ofEra = static_cast<unsigned>(days - era * 146097);
    const unsigned yearOfEra = (ofEra - ofEra / 1460 + ofEra / 36524 - ofEra / 146096) / 365;
    const unsigned dayOfYear = ofEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    const unsigned shifted = (5 * dayOfYear + 2) / 153;
    day = dayOfYear - (153 * shifted + 2) / 5 + 1;
    month = shifted < 10 ? shifted + 3 : shifted - 9;
    year = static_cast<int64_t>(yearOfEra) + era * 400 + (month <= 2);
}

int64_t FloorDiv(int64_t a, int64_t b) {
    return a / b - (a % b != 0 && (a < 0) != (b < 0));
}

}  // namespace

std::string EventLog::LocalStamp(int64_t unixSeconds, int64_t offsetSeconds) {
    const int64_t local = unixSeconds + offsetSeconds;
    const int64_t days = FloorDiv(local, 86400);
    const int64_t second = local - days * 86400;
    int64_t year;
    unsigned month, day;
    CivilFromDays(days, year, month, day);
    const int64_t offset = offsetSeconds < 0 ? -offsetSeconds : offsetSeconds;
    char text[64];
    std::snprintf(text, sizeof text, "%04lld-%02u-%02uT%02d:%02d:%02d%c%02d:%02d",
                  static_cast<long long>(year), month, day, static_cast<int>(second / 3600),
                  static_cast<int>(second / 60 % 60), static_cast<int>(second % 60),
                  offsetSeconds < 0 ? '-' : '+', static_cast<int>(offset / 3600),
                  static_cast<int>(offset / 60 % 60));
    return text;
}

void EventLog::Open(std::u16string_view folder) {
    path_ = folder.empty() ? std::u16string() : std::u16string(folder) + u"Valmorin.log";
    sized_ = false;
}

void EventLog::Write(std::u16string_view line) {
    if (path_.empty()) return;
    const auto now = std::chrono::system_clock::now().time_since_epoch();
    pending_ += LocalStamp(std::chrono::duration_cast<std::chrono::seconds>(now).count(),
                           platform::LocalOffset() / 10000000);
    pending_ += ' ';
    // A name may hold a line break; the log keeps one line per event.
    std::u16string flat(line);
    for (char16_t& unit : flat)
        if (unit == u'\r' || unit == u'\n') unit = u' ';
    pending_ += base::Utf16ToUtf8(flat);
    pending_ += "\r\n";
}

void EventLog::Flush() {
    if (pending_.empty() || path_.empty()) return;
    if (!sized_ || size_ + pending_.size() > kLimit) {
        platform::File file;
        uint64_t size = 0;
        if (file.OpenRead(path_)) size = file.Size();
        file.Close();
        if (size + pending_.size() > kLimit) {
            uint32_t error = 0;
            const std::u16string previous = path_.substr(0, path_.size() - 4) + u".1.log";
            platform::ReplaceWith(path_, previous, error);
            size = 0;
        }
        size_ = size;
        sized_ = true;
    }
    platform::File file;
    uint32_t error = 0;
    if (file.OpenAppend(path_)) size_ += file.Write(pending_.data(), pending_.size(), error);
    // Lines that could not be written now are dropped: the log never grows
    // in memory while its file cannot take it.
    pending_.clear();
}
