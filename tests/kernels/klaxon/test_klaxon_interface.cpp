// klaxon's side of the kernel interface: rates, control description, resets,
// blocks, clone and metadata.
#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <memory>
#include <set>
#include <sstream>
#include <string>

#include "interface/my_meta.h"
#include "tests/kernels/klaxon/klaxon_run.h"
#include "tests/kernels/support/recording_sinks.h"

namespace {

void pressAndRun(klaxon& k, int samples)
{
    k.triggerSaw = 1.0f;
    runKlaxon(k, samples);
}

// Every public field of a kernel that has never been initialised is 0.
void expectBlank(const klaxon& k)
{
    EXPECT_EQ(k.sampleRate, 0);
    for (float f : {k.clampedRate, k.piOverRate, k.smoothIn, k.sweep, k.smoothPole, k.attackStep, k.triggerRandom,
                    k.triggerRevSaw, k.triggerSaw, k.triggerTriangle, k.triggerSquare, k.decay, k.invRate, k.pitch,
                    k.depth, k.speed, k.maxCutoff})
        EXPECT_EQ(f, 0.0f);
    for (const float* pair : {k.sweepSmooth, k.randomButton, k.revSawButton, k.sawButton, k.triangleButton,
                              k.squareButton, k.decaySmooth, k.decayLatched, k.depthSmooth, k.shapeLatched,
                              k.speedSmooth, k.lfoPhase, k.noiseHeld, k.oscPhase, k.filterState1, k.filterState2}) {
        EXPECT_EQ(pair[0], 0.0f);
        EXPECT_EQ(pair[1], 0.0f);
    }
    for (const int32_t* pair : {k.held, k.holdCount, k.releaseCount, k.noiseState}) {
        EXPECT_EQ(pair[0], 0);
        EXPECT_EQ(pair[1], 0);
    }
}

void expectDefaults(const klaxon& k)
{
    EXPECT_EQ(k.decay, 0.4f);
    EXPECT_EQ(k.depth, 0.2f);
    EXPECT_EQ(k.speed, 4.0f);
    EXPECT_EQ(k.sweep, 0.5f);
    EXPECT_EQ(k.pitch, 220.0f);
    EXPECT_EQ(k.triggerRandom, 0.0f);
    EXPECT_EQ(k.triggerRevSaw, 0.0f);
    EXPECT_EQ(k.triggerSaw, 0.0f);
    EXPECT_EQ(k.triggerSquare, 0.0f);
    EXPECT_EQ(k.triggerTriangle, 0.0f);
}

}  // namespace

TEST(KlaxonRates, ClampedForConstantsButReportedRaw)
{
    struct Case {
        int rate;
        float clamped;
    };
    for (Case c : {Case{0, 1.0f}, Case{-44100, 1.0f}, Case{1, 1.0f}, Case{44, 44.0f}, Case{45, 45.0f}, Case{999, 999.0f}, Case{1000, 1000.0f},
                   Case{44100, 44100.0f}, Case{192000, 192000.0f}, Case{192001, 192001.0f}, Case{1536000, 1536000.0f}, Case{1536001, 1536000.0f},
                   Case{5000000, 1536000.0f}}) {
        klaxon k;
        k.init(c.rate);
        EXPECT_EQ(k.getSampleRate(), c.rate);
        EXPECT_EQ(k.clampedRate, c.clamped) << c.rate;
        EXPECT_EQ(k.invRate, 1.0f / c.clamped);
        EXPECT_EQ(k.piOverRate, (1.0f / c.clamped) * 3.1415927f);
        // The smoothers' input weight stops at 1 (no ringing below 44.1 Hz).
        EXPECT_EQ(k.smoothIn, c.clamped < 44.1f ? 1.0f : (1.0f / c.clamped) * 44.1f) << c.rate;
        EXPECT_EQ(k.smoothPole, 1.0f - k.smoothIn);
        // One millisecond of attack, a single sample below 1000 Hz.
        EXPECT_EQ(k.attackStep, c.clamped < 1000.0f ? 1.0f : 999.99994f / c.clamped) << c.rate;
    }
    klaxon k;
    k.init(44100);
    EXPECT_EQ(k.attackStep, 999.99994f / 44100.0f);
    EXPECT_EQ(k.smoothIn, 44.1f * (1.0f / 44100.0f));
}

TEST(KlaxonInterface, DescribesTenControlsInOrder)
{
    klaxon k;
    EXPECT_EQ(k.getNumInputs(), 0);
    EXPECT_EQ(k.getNumOutputs(), 2);
    k.init(44100);
    RecordingUI ui;
    k.buildUserInterface(&ui);
    struct Want {
        const char* op;
        const char* label;
        float* cell;
        float init, min, max, step;
    };
    const Want want[] = {
        {"openVerticalBox", "klaxon", nullptr, 0, 0, 0, 0},
        {"openHorizontalBox", "Controls", nullptr, 0, 0, 0, 0},
        {"addHorizontalSlider", "decay", &k.decay, 0.4f, 0.05f, 3.0f, 0.01f},
        {"addHorizontalSlider", "depth", &k.depth, 0.2f, 0.0f, 1.0f, 0.01f},
        {"addHorizontalSlider", "speed", &k.speed, 4.0f, 0.1f, 20.0f, 0.01f},
        {"addHorizontalSlider", "sweep", &k.sweep, 0.5f, 0.0f, 1.0f, 0.01f},
        {"closeBox", "", nullptr, 0, 0, 0, 0},
        {"openHorizontalBox", "Trigger", nullptr, 0, 0, 0, 0},
        {"declare", "unit=Hz", &k.pitch, 0, 0, 0, 0},
        {"addHorizontalSlider", "pitch", &k.pitch, 220.0f, 20.0f, 2000.0f, 1.0f},
        {"addButton", "triggerRandom", &k.triggerRandom, 0, 0, 0, 0},
        {"addButton", "triggerRevSaw", &k.triggerRevSaw, 0, 0, 0, 0},
        {"addButton", "triggerSaw", &k.triggerSaw, 0, 0, 0, 0},
        {"addButton", "triggerSquare", &k.triggerSquare, 0, 0, 0, 0},
        {"addButton", "triggerTriangle", &k.triggerTriangle, 0, 0, 0, 0},
        {"closeBox", "", nullptr, 0, 0, 0, 0},
        {"closeBox", "", nullptr, 0, 0, 0, 0},
    };
    ASSERT_EQ(ui.calls.size(), std::size(want));
    for (size_t n = 0; n < ui.calls.size(); ++n) {
        const UiCall& c = ui.calls[n];
        EXPECT_EQ(c.op, want[n].op) << n;
        EXPECT_EQ(c.label, want[n].label) << n;
        EXPECT_EQ(c.cell, want[n].cell) << n;
        EXPECT_EQ(c.init, want[n].init) << n;
        EXPECT_EQ(c.min, want[n].min) << n;
        EXPECT_EQ(c.max, want[n].max) << n;
        EXPECT_EQ(c.step, want[n].step) << n;
    }
}

TEST(KlaxonInterface, ResetAndClearEachTouchOnlyTheirPart)
{
    klaxon k;
    k.init(48000);
    expectDefaults(k);
    pressAndRun(k, 300);
    k.decay = 2.0f, k.depth = 0.9f, k.speed = 11.0f, k.sweep = 0.1f, k.pitch = 999.0f;
    k.triggerRandom = k.triggerRevSaw = k.triggerSquare = k.triggerTriangle = 1.0f;
    const int32_t count = k.holdCount[1];
    const float osc = k.oscPhase[1];
    k.instanceResetUserInterface();
    expectDefaults(k);
    EXPECT_EQ(k.holdCount[1], count);
    EXPECT_EQ(k.oscPhase[1], osc);

    k.decay = 2.0f;
    k.instanceClear();
    EXPECT_EQ(k.decay, 2.0f);
    EXPECT_EQ(k.clampedRate, 48000.0f);
    klaxon blank;
    blank.init(48000);
    blank.decay = 2.0f;
    // State cleared: from here both run alike.
    k.triggerSquare = blank.triggerSquare = 1.0f;
    EXPECT_EQ(runKlaxon(k, 500), runKlaxon(blank, 500));
    EXPECT_EQ(k.noiseState[1], blank.noiseState[1]);
}

TEST(KlaxonBlocks, CountZeroOrBelowTouchesNothing)
{
    klaxon k;
    k.init(44100);
    pressAndRun(k, 100);
    klaxon copy = k;
    float a[4] = {7.0f, 7.0f, 7.0f, 7.0f}, b[4] = {7.0f, 7.0f, 7.0f, 7.0f};
    float* outs[2] = {a, b};
    k.triggerSaw = 0.0f;  // a release that must not be seen
    for (int count : {0, -1, -64}) {
        k.compute(count, nullptr, outs);
        k.compute(count, nullptr, nullptr);
    }
    for (int n = 0; n < 4; ++n) EXPECT_TRUE(a[n] == 7.0f && b[n] == 7.0f);
    EXPECT_EQ(k.holdCount[1], copy.holdCount[1]);
    EXPECT_EQ(k.releaseCount[1], copy.releaseCount[1]);
    EXPECT_EQ(k.noiseState[1], copy.noiseState[1]);
    EXPECT_EQ(k.oscPhase[1], copy.oscPhase[1]);
    EXPECT_EQ(k.filterState2[1], copy.filterState2[1]);
    copy.triggerSaw = 0.0f;
    EXPECT_EQ(runKlaxon(k, 300), runKlaxon(copy, 300));
}

TEST(KlaxonBlocks, TimedComputeEqualsPlainAndBlockSizeIrrelevant)
{
    klaxon a, b, c;
    for (klaxon* k : {&a, &b, &c}) {
        k->init(44100);
        k->triggerRandom = 1.0f;
        k->depth = 0.7f;
    }
    std::vector<float> a0(256), a1(256), b0(256), b1(256);
    float* outsA[2] = {a0.data(), a1.data()};
    float* outsB[2] = {b0.data(), b1.data()};
    a.compute(256, nullptr, outsA);
    dsp& timed = b;
    timed.compute(987.654, 256, nullptr, outsB);
    EXPECT_EQ(a0, b0);
    EXPECT_EQ(a1, b1);
    EXPECT_EQ(a0, a1);
    EXPECT_EQ(runKlaxon(c, 256, 256), a0);
    // A press is seen at a block's start, so the split matters only through
    // when controls are read; with constant controls any split is the same.
    EXPECT_EQ(runKlaxon(a, 3000, 64), runKlaxon(c, 3000, 7));
}

TEST(KlaxonLifecycle, CloneIsBlankAndNeedsInit)
{
    klaxon k;
    k.init(44100);
    pressAndRun(k, 200);
    std::unique_ptr<dsp> c(k.clone());
    auto* z = dynamic_cast<klaxon*>(c.get());
    ASSERT_NE(z, nullptr);
    expectBlank(*z);
    z->init(44100);
    klaxon fresh;
    fresh.init(44100);
    z->triggerTriangle = fresh.triggerTriangle = 1.0f;
    EXPECT_EQ(runKlaxon(*z, 500), runKlaxon(fresh, 500));
}

TEST(KlaxonMetadata, ThirtyFiveSortedTruthfulPairs)
{
    klaxon k;  // needs no init
    RecordingMeta rec;
    k.metadata(&rec);
    ASSERT_EQ(rec.pairs.size(), 35u);
    EXPECT_EQ(rec.firstKeyOutOfOrder(), "");
    auto value = [&](const std::string& key) -> std::string {
        for (auto& p : rec.pairs)
            if (key == p.first) return p.second;
        return "<missing>";
    };
    EXPECT_EQ(value("name"), "klaxon");
    EXPECT_EQ(value("filename"), "klaxon.cpp");
    EXPECT_NE(value("compile_options"), "<missing>");
    EXPECT_FALSE(value("compile_options").empty());

    // Source folders, to check that every library and function named exists.
    std::string root = __FILE__;
    root = root.substr(0, root.rfind("tests/kernels/klaxon/"));
    auto sourceOf = [&](const std::string& file) -> std::string {
        for (const char* dir : {"kernels/klaxon/", "kernels/common/", "interface/"}) {
            std::ifstream in(root + dir + file);
            if (in) {
                std::stringstream text;
                text << in.rdbuf();
                return text.str();
            }
        }
        return "";
    };
    std::set<std::string> titled, versioned, wide, functions;
    int functionKeys = 0, fieldless = 0;
    for (auto& p : rec.pairs) {
        const std::string key = p.first, val = p.second;
        const auto slash = key.find('/');
        if (slash == std::string::npos) {
            EXPECT_TRUE(key == "name" || key == "filename" || key == "compile_options") << key;
            continue;
        }
        const std::string lib = key.substr(0, slash), item = key.substr(slash + 1);
        const std::string source = sourceOf(lib);
        EXPECT_FALSE(source.empty()) << lib;
        if (item == "name") titled.insert(lib);
        else if (item == "version") {
            versioned.insert(lib);
            EXPECT_EQ(val, value("klaxon.cpp/version"));
            EXPECT_FALSE(val.empty());
        } else if (item == "author" || item == "copyright" || item == "license") {
            wide.insert(lib);
        } else {
            ++functionKeys;
            const auto colon = item.find(':');
            const std::string fn = item.substr(0, colon);
            functions.insert(lib + "/" + fn);
            EXPECT_NE(source.find(fn + "("), std::string::npos) << key;
            if (colon == std::string::npos) {
                ++fieldless;
                EXPECT_NE(val.find("Copyright"), std::string::npos);
            }
        }
        if (item.find("author") != std::string::npos) {
            EXPECT_EQ(val, "the quill developers");
        }
        if (item.find("license") != std::string::npos) {
            EXPECT_EQ(val, "MIT");
        }
        if (item.find("copyright") != std::string::npos) {
            EXPECT_EQ(val, "Copyright (C) 2026 the quill developers");
        }
    }
    EXPECT_EQ(titled.size(), 9u);
    EXPECT_EQ(versioned, titled);
    EXPECT_EQ(wide.size(), 2u);
    EXPECT_EQ(functionKeys, 8);
    EXPECT_EQ(fieldless, 1);
    EXPECT_EQ(functions.size(), 6u);
}

TEST(KlaxonMetadata, SameKeysEveryTimeSoTheCollectorKeepsThirtyFive)
{
    klaxon k;
    MY_Meta collected;
    k.metadata(&collected);
    EXPECT_EQ(collected.pairs.size(), 35u);
    k.metadata(&collected);
    EXPECT_EQ(collected.pairs.size(), 35u);
}
