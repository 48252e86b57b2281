#include "tests/integration/support/pd_runner.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sstream>
#include <stdexcept>
#include <sys/wait.h>
#include <unistd.h>

namespace quill::pdtest {

PdSetup PdSetup::fromEnvironment()
{
    PdSetup s;
    const char* pd = std::getenv("QUILL_PD");
    s.pd = pd && *pd ? pd : "/usr/bin/pd";
    const char* dir = std::getenv("QUILL_PLUGIN_DIR");
    s.pluginDir = dir ? dir : "";
    const char* multi = std::getenv("QUILL_PD_MULTICHANNEL");
    s.multichannel = multi && std::strcmp(multi, "1") == 0;
    return s;
}

std::vector<std::string> PdResult::lines() const
{
    std::vector<std::string> out;
    std::istringstream in(console);
    for (std::string line; std::getline(in, line);) out.push_back(line);
    return out;
}

int PdResult::countLines(const std::string& text) const
{
    int n = 0;
    for (const std::string& line : lines())
        if (line.find(text) != std::string::npos) ++n;
    return n;
}

PdResult runProgram(const std::vector<std::string>& argv, double timeoutSeconds)
{
    if (argv.empty()) throw std::invalid_argument("runProgram: no program");
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0) throw std::runtime_error("pipe failed");

    std::vector<char*> args;
    for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);

    const pid_t pid = fork();
    if (pid < 0) {
        close(fds[0]);
        close(fds[1]);
        throw std::runtime_error("fork failed");
    }
    if (pid == 0) {
        // Child: both streams into the pipe, then the program.
        dup2(fds[1], 1);
        dup2(fds[1], 2);
        int devnull = open("/dev/null", O_RDONLY);
        if (devnull >= 0) dup2(devnull, 0);
        execv(args[0], args.data());
        const char msg[] = "runProgram: exec failed\n";
        ssize_t ignored = write(2, msg, sizeof msg - 1);
        (void)ignored;
        _exit(127);
    }
    close(fds[1]);

    PdResult result;
    const auto deadline = std::chrono::steady_clock::now() +
                          std::chrono::milliseconds(long(timeoutSeconds * 1000.0));
    char buf[4096];
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now()).count();
        if (left <= 0) {
            result.timedOut = true;
            kill(pid, SIGKILL);  // only the child this call started
            break;
        }
        pollfd p{fds[0], POLLIN, 0};
        const int ready = poll(&p, 1, int(left > 1000 ? 1000 : left));
        if (ready < 0 && errno == EINTR) continue;
        if (ready <= 0) continue;
        const ssize_t got = read(fds[0], buf, sizeof buf);
        if (got > 0) {
            result.console.append(buf, size_t(got));
        } else if (got == 0 || errno != EINTR) {
            break;  // end of output: the program closed its streams
        }
    }
    close(fds[0]);
    // Pd on Windows ends its lines with CR LF.
    std::string& text = result.console;
    size_t kept = 0;
    for (size_t i = 0; i < text.size(); ++i)
        if (text[i] != '\r' || i + 1 == text.size() || text[i + 1] != '\n') text[kept++] = text[i];
    text.resize(kept);

    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {}
    if (WIFEXITED(status)) {
        result.exitedNormally = true;
        result.exitStatus = WEXITSTATUS(status);
    } else if (WIFSIGNALED(status)) {
        result.signal = WTERMSIG(status);
    }
    return result;
}

PdResult runPd(const PdSetup& setup, const std::string& patchPath, const PdRunOptions& options)
{
    std::vector<std::string> argv = {setup.pd, "-nogui", "-nosound", "-batch", "-noprefs",
                                     "-stderr", "-nrt"};
    if (options.sampleRate > 0) {
        argv.push_back("-r");
        argv.push_back(std::to_string(options.sampleRate));
    }
    if (!setup.pluginDir.empty()) {
        argv.push_back("-path");
        argv.push_back(setup.pluginDir);
    }
    argv.push_back("-open");
    argv.push_back(patchPath);
    return runProgram(argv, options.timeoutSeconds);
}

}  // namespace quill::pdtest
