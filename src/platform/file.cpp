#include "platform/file.h"

#include <utility>

namespace platform {

Writers SystemWritersOf(std::u16string_view path);

namespace {

WritersFault& Fault() {
    static WritersFault fault;
    return fault;
}

}  // namespace

void SetWritersFault(WritersFault fault) {
    Fault() = std::move(fault);
}

Writers WritersOf(std::u16string_view path) {
    if (Fault())
        if (const std::optional<Writers> answer = Fault()(path)) return *answer;
    return SystemWritersOf(path);
}

}  // namespace platform
