#pragma once
// Runs a program as a child process with its output discarded, for the tests
// that kill programs at random moments. No Qt.
//
//   const pid_t pid = airtest::startQuiet({exe, "update", ...}, {.dir = work});
//   ::kill(pid, SIGKILL);
//   EXPECT_EQ(airtest::finish(pid), -SIGKILL);
#include <fcntl.h>
#include <string>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>
#include <utility>
#include <vector>

namespace airtest {

struct ChildSetup {
    std::string dir; // the working folder; empty: the test's own
    std::vector<std::pair<std::string, std::string>> env; // variables set in the child
};

// Starts argv[0] (a path) with standard output and error on /dev/null.
// The child exits 126 when it cannot enter dir, 127 when it cannot run.
inline pid_t startQuiet(const std::vector<std::string>& argv, const ChildSetup& setup = {})
{
    const pid_t pid = ::fork();
    if (pid == 0) {
        if (!setup.dir.empty() && ::chdir(setup.dir.c_str()) != 0)
            ::_exit(126);
        const int null = ::open("/dev/null", O_WRONLY);
        ::dup2(null, 1);
        ::dup2(null, 2);
        for (const auto& [name, value] : setup.env)
            ::setenv(name.c_str(), value.c_str(), 1);
        std::vector<char*> args;
        for (const auto& a : argv)
            args.push_back(const_cast<char*>(a.c_str()));
        args.push_back(nullptr);
        ::execv(args[0], args.data());
        ::_exit(127);
    }
    return pid;
}

// Waits for pid: its exit status, or minus the signal that ended it.
inline int finish(pid_t pid)
{
    int status = 0;
    ::waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -WTERMSIG(status);
}

} // namespace airtest
