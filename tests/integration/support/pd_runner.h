// Runs Pd headless on a patch file and captures everything it prints.
#pragma once

#include <string>
#include <vector>

namespace quill::pdtest {

// Which Pd to run and where the plug-ins are, from the environment:
// QUILL_PD (default /usr/bin/pd), QUILL_PLUGIN_DIR, QUILL_PD_MULTICHANNEL=1
// when that Pd has multichannel signals.
struct PdSetup {
    std::string pd;
    std::string pluginDir;
    bool multichannel = false;

    static PdSetup fromEnvironment();
};

struct PdResult {
    bool timedOut = false;
    bool exitedNormally = false;  // ended by exit(), not by a signal
    int exitStatus = -1;          // exit code, when exitedNormally
    int signal = 0;               // terminating signal, when not
    std::string console;          // stdout and stderr, interleaved as printed

    std::vector<std::string> lines() const;
    // Number of console lines that contain `text`.
    int countLines(const std::string& text) const;
    bool contains(const std::string& text) const { return countLines(text) > 0; }
    // True when Pd quit by itself with status 0.
    bool quitCleanly() const { return !timedOut && exitedNormally && exitStatus == 0; }
};

struct PdRunOptions {
    int sampleRate = 0;        // 0: Pd's default
    double timeoutSeconds = 60.0;
};

// Runs `PD -nogui -nosound -batch -noprefs -stderr -nrt [-r RATE] -path
// PLUGIN_DIR -open PATCH`; Pd is killed when it runs longer than the timeout.
PdResult runPd(const PdSetup& setup, const std::string& patchPath, const PdRunOptions& options = {});

// Runs any program with arguments the same way (used by runPd).
PdResult runProgram(const std::vector<std::string>& argv, double timeoutSeconds);

}  // namespace quill::pdtest
