// The real program with file names that read as cmd syntax, and at the end
// of a Windows session.
#pragma once

#include <string>

#include "e2e_support.h"

namespace e2e {

// Starts `app` again, without and with -mini, while the first runs with its
// main window `main` shown or, monitoring, hidden: each second start ends at
// once with exit code 0, a shown window comes to the front, a hidden one
// stays hidden, and options.dat stays as it was.
void CheckSecondStarts(const std::wstring& app, const std::wstring& work,
                       const std::wstring& options, HWND main, bool monitoring);

// Starts `app` with -mini over two entries on one folder, one for new and
// changed files and one for new files only, each launching `logger`; a file
// another program writes slowly, holding it open, is launched once per entry
// after the writer let go. A file dropped between a stop and the next start
// is launched once at that start.
void RunSlowWriter(const std::wstring& app, const std::wstring& logger, const std::wstring& work,
                   const std::wstring& options, const std::wstring& mainCaption);

// Starts `app` with -mini over a watch list of its own in `options`, working
// in `work`; ends it as Windows ends a session.
void RunHostileNamesAndSessionEnd(const std::wstring& app, const std::wstring& work,
                                  const std::wstring& options, const std::wstring& mainCaption);

}  // namespace e2e
