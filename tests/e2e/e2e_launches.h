// The real program launching many files at once, and commands that fail.
#pragma once

#include <windows.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

namespace e2e {

// Sends WM_NULL to a window every 200 ms from a thread of its own and keeps
// the longest wait for its answer.
class AnswerProbe {
  public:
    explicit AnswerProbe(HWND window);
    ~AnswerProbe();
    AnswerProbe(const AnswerProbe&) = delete;
    AnswerProbe& operator=(const AnswerProbe&) = delete;
    unsigned long Slowest() const { return slowest_; }
    unsigned long Probes() const { return probes_; }

  private:
    HWND window_;
    std::atomic<bool> stop_{false};
    std::atomic<unsigned long> slowest_{0}, probes_{0};
    std::thread thread_;
};

// How many launches the logger has recorded in `folder`, without reading them.
size_t CountLaunches(const std::wstring& folder);
// `count` small files made in `folder` to be dropped elsewhere; their names.
std::vector<std::wstring> PrepareFiles(const std::wstring& folder, int count);
// The local application data folder of Valmorin, with its log.
std::wstring LocalFolder();
std::string ReadLog();

// `count` files dropped at once into a watched folder: the window answers
// WM_NULL within 250 ms throughout, a click on the icon stops at once and no
// launch starts after it, and the next start makes the rest, each file once.
void RunManyLaunches(const std::wstring& app, const std::wstring& logger, const std::wstring& work,
                     const std::wstring& options, const std::wstring& mainCaption, int count);

// A command that cannot start and one that ends with exit code 3: each
// leaves its line in Valmorin.log, and a balloon shows over the icon.
void RunFailingCommands(const std::wstring& app, const std::wstring& work,
                        const std::wstring& options, const std::wstring& mainCaption,
                        const std::wstring& shots);

}  // namespace e2e
