// The real program with file names that read as cmd syntax, and at the end
// of a Windows session.
#pragma once

#include <string>

namespace e2e {

// Starts `app` with -mini over a watch list of its own in `options`, working
// in `work`; ends it as Windows ends a session.
void RunHostileNamesAndSessionEnd(const std::wstring& app, const std::wstring& work,
                                  const std::wstring& options, const std::wstring& mainCaption);

}  // namespace e2e
