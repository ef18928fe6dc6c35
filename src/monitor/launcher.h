// Filling a file's paths into an entry's parameter template.
#pragma once

#include <string>
#include <string_view>

// One left-to-right scan: the quoted placeholder ("%1" in double quotes) and
// %1 become the full path in double quotes, %2 the relative path; everything
// else is copied. Inserted paths are never scanned again, so a path that
// itself holds "%1" or "%2" arrives as it is.
//
// A path is always data, never syntax: a relative path that holds a blank or
// a character cmd reads as syntax is put in double quotes where the template
// leaves it outside them, and a full path that holds such a character and
// falls inside the template's own quotes goes in without quotes of its own,
// which would end the template's. Paths of plain characters come out as the
// scan alone makes them.
std::u16string ExpandParameters(std::u16string_view command2, std::u16string_view fname,
                                std::u16string_view fname2);

// The parameters handed to the shell for `command`. When the command is cmd
// with /c or /k, the line after the switch is the one cmd runs: where cmd's
// own quote stripping would take the template's quotes off a path, the line
// goes to cmd with /s inside one more pair of quotes, which cmd then strips
// instead. cmd expands %NAME% inside quotes too, so each '%' of a path goes
// between quotes of its own, and no name cmd could read from a path is that
// of a variable; under /v:on carets keep a path's '!' and '^', and where the
// template does not say, a path with a '!' turns that expansion off. A batch
// file's parameters are such a line as well.
std::u16string LaunchParameters(std::u16string_view command, std::u16string_view command2,
                                std::u16string_view fname, std::u16string_view fname2);
