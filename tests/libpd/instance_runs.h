// Runs of the test patch: one instance alone on the calling thread (the
// reference), or four instances on four threads at once, each compared
// block by block, bit for bit, with a reference as it runs.
#pragma once

#include <string>
#include <vector>

#include "tests/libpd/call_log.h"
#include "z_libpd.h"

namespace quill_libpd {

struct Settings {
    std::string pluginDir;  // the modules under test
    std::string patchDir;   // host_test.pd
    long blocks = 3000;     // per run: 4 s at 48000 Hz
    int rounds = 3;
};
// From the environment: QUILL_PLUGIN_DIR, QUILL_LIBPD_PATCH_DIR,
// QUILL_LIBPD_BLOCKS, QUILL_LIBPD_ROUNDS. libpd is started on first use.
const Settings& settings();

struct Recording {
    std::vector<t_sample> samples;  // every block's interleaved output frames
    std::string replies;
    std::string console;
};

struct Mismatch {
    long block = -1;  // -1: none
    int channel = 0;
    int frame = 0;
    t_sample got = 0;
    t_sample want = 0;
};
std::string describe(const Mismatch& m);

struct InstanceOutcome {
    Mismatch mismatch;
    std::string replies;
    CallLog audioCalls;     // the audio thread's calls from the first watched block on
    CallLog creationCalls;  // the calls of the blocks that create objects
};

// The patch run alone in a new instance on the calling thread; the first
// one opened in the process loads the modules.
Recording recordOneInstance(bool churn);

// Four new instances, one per thread, running the patch at once; the one at
// index `churner` also creates and deletes objects and restarts DSP. Each is
// compared with the reference of its own plan. With a watch function, each
// thread's calls are recorded: the audio threads' from block `watchFrom` on
// (not the churner's, whose blocks build DSP chains), and the churner's
// while it creates objects.
std::vector<InstanceOutcome> runFourInstances(const Recording& plain, const Recording& churned, int churner,
                                              WatchCalls watch = nullptr, long watchFrom = 0);

}  // namespace quill_libpd
