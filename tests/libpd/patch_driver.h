// What the host feeds the test patch (host_test.pd) each block: its input
// signals and its control messages. Both depend on the block's index alone,
// so every instance and every run of the same plan gets the same.
#pragma once

#include "z_libpd.h"

namespace quill_libpd {

constexpr int kBlock = 64;  // libpd's block
constexpr int kInputs = 6;
constexpr int kOutputs = 21;
constexpr int kRate = 48000;
constexpr int kBlockSamples = kBlock * kOutputs;

// The patch's output channels (0-based) that carry leveler~'s outlet, one
// channel of leveler~ -m's, and what they read at the input.
constexpr int kLevelerOutput = 6;
constexpr int kMultiLevelerOutput = 19;
constexpr int kLevelerInput = 0;

// Interleaved frames of the six input signals: three noises, and
// frequencies that glide, hold in steps, or sit at 0 Hz.
void fillInputs(long block, t_sample* frames);

// The control changes of one block: every control of every object moves,
// at rates from every block to every 250th, and klaxon~'s triggers are
// pressed and released.
void moveControls(long block);

// The messages of one block on the calling thread's instance: the moving
// controls, "active" off and on (also reversed mid-fade), reads and "bang"
// whose replies pass [route]. With churn, objects are also created in and
// deleted from a subpatch, and DSP restarted.
void sendMessages(long block, bool churn);

// Whether the block's messages create objects (the churn's creation step).
bool createsObjects(long block);

// The only message of the bypass run: leveler~ and leveler~ -m switched off.
void switchLevelersOff();

}  // namespace quill_libpd
