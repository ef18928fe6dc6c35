// Splits a parameter string into arguments the way a Windows program's
// runtime does, so the portable build can start a command without a shell
// in between.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace base {

// Arguments are separated by spaces and tabs. A double quote starts or ends
// a quoted stretch, in which spaces belong to the argument; two double quotes
// inside one stand for one. 2n backslashes before a double quote become n
// backslashes and the quote keeps its meaning; 2n+1 become n backslashes and
// a literal double quote. Other backslashes are literal.
std::vector<std::u16string> SplitCommandLine(std::u16string_view text);

}  // namespace base
