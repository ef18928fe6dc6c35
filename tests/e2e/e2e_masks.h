// The real program with an entry that counts some files only, and with the
// watch list a user would have.
#pragma once

#include <string>

#include "e2e_support.h"

namespace e2e {

// Runs `app` with -mini over an entry `...\*.pdf;!~$*` that launches
// `logger`, then edits that entry's folder with the folder chooser; works in
// `work`, with its own watch list in `options`.
void RunMasks(const std::wstring& app, const std::wstring& logger, const std::wstring& work,
              const std::wstring& options, const std::wstring& mainCaption);

// Shows `app` with a scans folder copied to a share and a drop folder a
// script converts, and takes the main window's picture into `shots`.
void TakeListPicture(const std::wstring& app, const std::wstring& work, const std::wstring& options,
                     const std::wstring& shots, const std::wstring& mainCaption);

}  // namespace e2e
