#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "base/command_line.h"
#include "platform/posix_path.h"
#include "platform/shell.h"

extern char** environ;

namespace platform {
namespace {

bool IsProgram(const std::string& path) {
    struct stat info {};
    return stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode) && access(path.c_str(), X_OK) == 0;
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

// Starts the command in a grandchild, so that it is never waited for and
// never left behind as a zombie of ours.
void Detach(const std::vector<std::string>& args) {
    std::vector<char*> argv;
    for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);
    pid_t child = fork();
    if (child == 0) {
        pid_t grandchild;
        int failed = posix_spawnp(&grandchild, argv[0], nullptr, nullptr, argv.data(), environ);
        _exit(failed ? 1 : 0);
    }
    if (child > 0) waitpid(child, nullptr, 0);
}

}  // namespace

void ShellOpen(WindowHandle, const char16_t* file, const char16_t* params, bool) {
    std::string command = ToPosixPath(file);
    if (command.empty()) return;
    std::vector<std::string> args{command};
    if (FindProgram(command)) {
        for (const std::u16string& arg : base::SplitCommandLine(params)) args.push_back(base::Utf16ToUtf8(arg));
    } else {
        // A document or web address opens with the desktop's own choice.
        args.insert(args.begin(), "xdg-open");
    }
    Detach(args);
}

}  // namespace platform
