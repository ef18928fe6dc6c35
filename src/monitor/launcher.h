// Filling a file's paths into an entry's parameter template.
#pragma once

#include <string>
#include <string_view>

// One left-to-right scan: the quoted placeholder ("%1" in double quotes) and
// %1 become the full path in double quotes, %2 the relative path; everything
// else is copied. Inserted paths are never scanned again, so a path that
// itself holds "%1" or "%2" arrives as it is.
std::u16string ExpandParameters(std::u16string_view command2, std::u16string_view fname,
                                 std::u16string_view fname2);
