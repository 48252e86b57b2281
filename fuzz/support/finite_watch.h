// Decides, block by block, whether the object's output must be finite.
//
// The promise: with every input sample finite and within ±1e6, and the
// kernel's rate at least 1 Hz, every output sample is finite; after unclean
// input stops, the output is finite again one block later. `grace` is how
// many clean blocks after unclean input may still give non-finite output (1 by
// default; QUILL_FUZZ_STRICT=1 makes it 0). A DSP start does not wipe the
// history: the adapter keeps the kernel's state across it unless the rate
// changes, so unclean input before a restart still counts.
#pragma once

namespace fuzz {

class FiniteWatch {
public:
    explicit FiniteWatch(int grace) : grace_(grace) {}

    // Records one block's input; returns whether its output must be finite.
    bool block(bool inputClean, bool rateCovered)
    {
        bool mustBeFinite = false;
        if (!inputClean) {
            uncleanSeen_ = true;
            cleanRun_ = 0;
        } else {
            mustBeFinite = !uncleanSeen_ || cleanRun_ >= grace_;
            ++cleanRun_;
        }
        return mustBeFinite && rateCovered;
    }

private:
    int grace_;
    bool uncleanSeen_ = false;
    int cleanRun_ = 0;  // clean blocks since the last unclean one
};

}  // namespace fuzz
