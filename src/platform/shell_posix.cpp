#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "base/command_line.h"
#include "platform/posix_path.h"
#include "platform/shell.h"

extern char** environ;

namespace platform {
namespace {

bool IsProgram(const std::string& path) {
    struct stat info {};
    return stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode) &&
           access(path.c_str(), X_OK) == 0;
}

// A bare name is looked up along PATH, as the shell looks up a program.
bool FindProgram(const std::string& name) {
    if (name.find('/') != std::string::npos) return IsProgram(name);
    const char* path = getenv("PATH");
    std::string dirs = path ? path : "/usr/bin:/bin";
    size_t start = 0;
    for (;;) {
        size_t end = dirs.find(':', start);
        std::string dir = dirs.substr(start, end - start);
        if (IsProgram((dir.empty() ? "." : dir) + "/" + name)) return true;
        if (end == std::string::npos) return false;
        start = end + 1;
    }
}

}  // namespace

Launched ShellOpen(WindowHandle, const char16_t* file, const char16_t* params, bool) {
    Launched launched;
    std::string command = ToPosixPath(file);
    if (command.empty()) {
        launched.error = ENOENT;
        return launched;
    }
    std::vector<std::string> args{command};
    if (FindProgram(command)) {
        for (const std::u16string& arg : base::SplitCommandLine(params))
            args.push_back(base::Utf16ToUtf8(arg));
    } else {
        // A document or web address opens with the desktop's own choice.
        args.insert(args.begin(), "xdg-open");
    }
    std::vector<char*> argv;
    for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);
    pid_t pid = 0;
    const int failed = posix_spawnp(&pid, argv[0], nullptr, nullptr, argv.data(), environ);
    if (failed) {
        launched.error = static_cast<uint32_t>(failed);
        return launched;
    }
    launched.started = true;
    launched.process = pid;
    launched.pid = static_cast<uint32_t>(pid);
    return launched;
}

bool ProcessEnded(intptr_t process, uint32_t& exitCode) {
    int status = 0;
    if (waitpid(static_cast<pid_t>(process), &status, WNOHANG) != process) return false;
    exitCode = WIFEXITED(status) ? static_cast<uint32_t>(WEXITSTATUS(status)) : 255u;
    return true;
}

void ReleaseProcess(intptr_t process) {
    // A child still running is waited for elsewhere, so that it never stays
    // behind as a zombie of ours.
    const auto pid = static_cast<pid_t>(process);
    if (waitpid(pid, nullptr, WNOHANG) == 0)
        std::thread([pid] { waitpid(pid, nullptr, 0); }).detach();
}

std::u16string ErrorText(uint32_t error) {
    return base::Utf8ToUtf16(std::strerror(static_cast<int>(error)));
}

}  // namespace platform
