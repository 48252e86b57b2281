// A block-accurate run of a generated patch in a real Pd.
//
// DSP is switched on at load; every recorded signal is written by its own
// [tabwrite~] from block 0 on; messages go out at chosen block numbers by
// counting [bang~] outputs (a message sent from a chain that [bang~]
// triggers after block k is handled before block k + 1 is computed); after
// the last block the recordings are written with [soundfiler] as 32-bit float
// WAV (64-bit on request) and Pd is told to quit. Everything lives in a
// temporary folder that is removed afterwards.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "tests/integration/support/patch_writer.h"
#include "tests/integration/support/pd_runner.h"

namespace quill::pdtest {

constexpr int kBlockSize = 64;  // Pd's block length

struct RunResult {
    PdResult pd;
    std::string patch;                         // the patch file that ran
    std::vector<std::vector<float>> channels;   // one per record() call, in call order
    std::vector<std::vector<double>> doubles;   // the same, after writeDoubles()
    int wavSampleRate = 0;

    // What [print tag] printed, one entry per line, without the "tag: " prefix.
    std::vector<std::string> printed(const std::string& tag) const;
};

class BlockRun {
public:
    // Builds onto `patch`, the top canvas; the run lasts `blocks` blocks.
    BlockRun(Canvas& patch, int blocks);

    // Records signal outlet `outlet` of object `object` of canvas `where`
    // (the top canvas when omitted); returns the channel's index.
    int record(int object, int outlet) { return record(top_, object, outlet); }
    int record(Canvas& where, int object, int outlet);

    // Sends `message` (selector and arguments, as typed in a message box) to
    // the leftmost inlet of `object` before block `block` is computed.
    void send(int block, int object, const std::string& message) { send(block, top_, object, message); }
    void send(int block, Canvas& where, int object, const std::string& message);
    // Sends `message` to the receiver `receiver` (e.g. "pd", "pd-sub")
    // before block `block`.
    void sendTo(int block, const std::string& receiver, const std::string& message);

    // Prints what leaves outlet 0 of `object` through [print tag].
    void printReplies(int object, const std::string& tag) { printReplies(top_, object, tag); }
    void printReplies(Canvas& where, int object, const std::string& tag);

    // The recordings are written as 64-bit floats: a double-precision Pd's
    // samples as they are (into RunResult::doubles instead of channels).
    void writeDoubles() { sampleBytes_ = 8; }

    // Writes the patch, runs Pd (at `sampleRate` when positive) and reads back
    // the recordings. The BlockRun is spent afterwards.
    RunResult run(const PdSetup& setup, int sampleRate = 0, double timeoutSeconds = 60.0);

private:
    std::string receiverFor(Canvas& where, int object);

    Canvas& top_;
    int blocks_;
    bool ran_ = false;
    int sampleBytes_ = 4;
    std::map<int, std::vector<std::string>> events_;  // block -> "receiver message" lines
    std::map<std::pair<const Canvas*, int>, std::string> receivers_;
    std::vector<std::string> arrays_;
};

}  // namespace quill::pdtest
