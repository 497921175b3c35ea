#include "RunProgram.h"

#include "BuildError.h"
#include "LxStrUtils.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

fs::path FindOnPath(const std::string& Name) {
    const char* Path = std::getenv("PATH");
    std::string_view Folders = Path ? Path : "";
    while (!Folders.empty()) {
        const size_t Colon = Folders.find(':');
        const std::string_view Folder = Folders.substr(0, Colon);
        Folders = Colon == std::string_view::npos ? std::string_view() : Folders.substr(Colon + 1);
        if (Folder.empty()) continue; // the current folder is never searched
        const fs::path Candidate = fs::path(Folder) / Name;
        if (fs::is_regular_file(Candidate) && access(Candidate.c_str(), X_OK) == 0)
            return Candidate;
    }
    return {};
}

TProgramResult RunProgram(const fs::path& Program, const std::vector<WideString>& Arguments) {
    std::vector<std::string> Texts{Program.string()};
    for (const WideString& Argument : Arguments)
        Texts.push_back(WideToUtf8(Argument));
    std::vector<char*> Argv;
    for (std::string& Text : Texts)
        Argv.push_back(Text.data());
    Argv.push_back(nullptr);

    int Pipe[2];
    if (pipe2(Pipe, O_CLOEXEC) != 0)
        RaiseBuildError(DisplayPath(Program), u"cannot start the program (no pipe)");
    posix_spawn_file_actions_t Actions;
    posix_spawn_file_actions_init(&Actions);
    posix_spawn_file_actions_addopen(&Actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&Actions, Pipe[1], 1);
    posix_spawn_file_actions_adddup2(&Actions, Pipe[1], 2);
    pid_t Child = 0;
    const int Error = posix_spawn(&Child, Program.c_str(), &Actions, nullptr, Argv.data(), environ);
    posix_spawn_file_actions_destroy(&Actions);
    close(Pipe[1]);
    if (Error != 0) {
        close(Pipe[0]);
        RaiseBuildError(DisplayPath(Program),
                        u"cannot start the program (" + Utf8ToWide(std::strerror(Error)) + u")");
    }
    TProgramResult Result;
    char Buffer[4096];
    for (;;) {
        const ssize_t Count = read(Pipe[0], Buffer, sizeof(Buffer));
        if (Count > 0)
            Result.Output.append(Buffer, size_t(Count));
        else if (Count == 0 || errno != EINTR)
            break;
    }
    close(Pipe[0]);
    int Status = 0;
    while (waitpid(Child, &Status, 0) < 0 && errno == EINTR) {
    }
    Result.ExitCode = WIFEXITED(Status) ? WEXITSTATUS(Status) : 128 + WTERMSIG(Status);
    return Result;
}
