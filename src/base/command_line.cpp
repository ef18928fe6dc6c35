#include "base/command_line.h"

namespace base {

std::vector<std::u16string> SplitCommandLine(std::u16string_view text) {
    std::vector<std::u16string> args;
    size_t i = 0, n = text.size();
    auto blank = [](char16_t c) { return c == u' ' || c == u'\t'; };
    for (;;) {
        while (i < n && blank(text[i])) ++i;
        if (i == n) return args;
        std::u16string arg;
        bool quoted = false;
        while (i < n && (quoted || !blank(text[i]))) {
            char16_t c = text[i];
            if (c == u'\\') {
                size_t run = 0;
                while (i < n && text[i] == u'\\') ++run, ++i;
                if (i < n && text[i] == u'"') {
                    arg.append(run / 2, u'\\');
                    if (run % 2) {
                        arg += u'"';
                        ++i;
                    }
                } else {
                    arg.append(run, u'\\');
                }
            } else if (c == u'"') {
                if (quoted && i + 1 < n && text[i + 1] == u'"') {
                    arg += u'"';
                    i += 2;
                } else {
                    quoted = !quoted;
                    ++i;
                }
            } else {
                arg += c;
                ++i;
            }
        }
        args.push_back(std::move(arg));
    }
}

}  // namespace base
