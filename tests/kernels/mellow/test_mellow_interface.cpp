// mellow's side of the kernel interface: rates, block handling, buffers,
// clone, control description and metadata.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "interface/my_meta.h"
#include "tests/kernels/mellow/mellow_run.h"
#include "tests/kernels/support/recording_sinks.h"

TEST(MellowRates, ClampedForConstantsButReportedRaw)
{
    struct Case {
        int rate;
        float fs;
    };
    for (Case c : {Case{0, 1.0f}, Case{-48000, 1.0f}, Case{44100, 44100.0f}, Case{192000, 192000.0f},
                   Case{192001, 192001.0f}, Case{1536000, 1536000.0f}, Case{1536001, 1536000.0f}, Case{2000000, 1536000.0f}}) {
        mellow k;
        k.init(c.rate);
        EXPECT_EQ(k.getSampleRate(), c.rate);
        EXPECT_EQ(k.sampleRate, c.rate);
        EXPECT_EQ(k.piOverRate, 3.1415927f / c.fs);
        // Below 44.1 Hz the smoother follows at once (weight 1).
        const float weight = c.fs < 44.1f ? 1.0f : 44.1f / c.fs;
        EXPECT_EQ(k.smoothIn, weight);
        EXPECT_EQ(k.smoothPole, 1.0f - weight);
    }
}

TEST(MellowBlocks, CountZeroOrBelowTouchesNothing)
{
    mellow k;
    k.init(44100);
    runMellow(k, noise(100));
    const mellow before = k;
    float in[4] = {1, 1, 1, 1}, a[4] = {7, 7, 7, 7}, b[4] = {7, 7, 7, 7};
    float* ins[1] = {in};
    float* outs[2] = {a, b};
    for (int count : {0, -1, -64}) {
        k.compute(count, ins, outs);
        k.compute(count, nullptr, nullptr);
    }
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(a[i], 7.0f);
        EXPECT_EQ(b[i], 7.0f);
    }
    EXPECT_EQ(std::memcmp(&k.lowpassState, &before.lowpassState, sizeof k.lowpassState), 0);
    EXPECT_EQ(std::memcmp(&k.cutoffSmooth, &before.cutoffSmooth, sizeof k.cutoffSmooth), 0);
    EXPECT_EQ(std::memcmp(&k.resonanceQSmooth, &before.resonanceQSmooth, sizeof k.resonanceQSmooth), 0);
}

TEST(MellowBlocks, InputMayBeAnOutputBuffer)
{
    const std::vector<float> in = noise(256, 9);
    mellow ref;
    ref.init(48000);
    const std::vector<float> expected = runMellow(ref, in).out0;
    for (int shared : {0, 1}) {
        mellow k;
        k.init(48000);
        std::vector<float> buf = in, other(256);
        float* ins[1] = {buf.data()};
        float* outs[2] = {shared == 0 ? buf.data() : other.data(), shared == 0 ? other.data() : buf.data()};
        k.compute(256, ins, outs);
        EXPECT_EQ(buf, expected);
        EXPECT_EQ(other, expected);
    }
}

TEST(MellowBlocks, TimedComputeEqualsPlain)
{
    const std::vector<float> in = noise(128, 4);
    mellow a, b;
    a.init(44100);
    b.init(44100);
    std::vector<float> buf = in, a0(128), a1(128), b0(128), b1(128);
    float* ins[1] = {buf.data()};
    float* outsA[2] = {a0.data(), a1.data()};
    float* outsB[2] = {b0.data(), b1.data()};
    a.compute(128, ins, outsA);
    static_cast<dsp&>(b).compute(-1.5, 128, ins, outsB);
    EXPECT_EQ(a0, b0);
    EXPECT_EQ(a1, b1);
}

TEST(MellowLifecycle, CloneIsBlank)
{
    mellow k;
    k.init(44100);
    runMellow(k, noise(100));
    std::unique_ptr<dsp> c(k.clone());
    auto* m = dynamic_cast<mellow*>(c.get());
    ASSERT_NE(m, nullptr);
    EXPECT_EQ(m->sampleRate, 0);
    for (float v : {m->piOverRate, m->smoothIn, m->cutoff, m->smoothPole, m->cutoffSmooth[0], m->cutoffSmooth[1],
                    m->resonanceQ, m->resonanceQSmooth[0], m->resonanceQSmooth[1], m->lowpassState[0],
                    m->lowpassState[1], m->lowpassState[2]})
        EXPECT_EQ(v, 0.0f);
}

TEST(MellowLifecycle, DescribesTwoSliders)
{
    mellow k;
    EXPECT_EQ(k.getNumInputs(), 1);
    EXPECT_EQ(k.getNumOutputs(), 2);
    k.init(44100);
    RecordingUI ui;
    k.buildUserInterface(&ui);
    ASSERT_EQ(ui.calls.size(), 6u);
    EXPECT_EQ(ui.calls[0].op, "openVerticalBox");
    EXPECT_EQ(ui.calls[0].label, "mellow");
    EXPECT_EQ(ui.calls[1].op, "declare");
    EXPECT_EQ(ui.calls[1].label, "scale=log");
    EXPECT_EQ(ui.calls[1].cell, &k.cutoff);
    EXPECT_EQ(ui.calls[2].op, "declare");
    EXPECT_EQ(ui.calls[2].label, "unit=Hz");
    EXPECT_EQ(ui.calls[2].cell, &k.cutoff);
    struct Slider {
        const char* label;
        float* cell;
        float init, min, max, step;
    };
    const Slider sliders[] = {{"cutoff", &k.cutoff, 2000.0f, 20.0f, 20000.0f, 0.1f},
                              {"resonanceQ", &k.resonanceQ, 1.0f, 0.5f, 15.0f, 0.01f}};
    for (int n = 0; n < 2; ++n) {
        const UiCall& c = ui.calls[static_cast<size_t>(3 + n)];
        const Slider& e = sliders[n];
        EXPECT_EQ(c.op, "addHorizontalSlider");
        EXPECT_EQ(c.label, e.label);
        EXPECT_EQ(c.cell, e.cell);
        EXPECT_EQ(c.init, e.init);
        EXPECT_EQ(c.min, e.min);
        EXPECT_EQ(c.max, e.max);
        EXPECT_EQ(c.step, e.step);
        EXPECT_EQ(*e.cell, e.init);  // init sets what the slider announces
    }
    EXPECT_EQ(ui.calls[5].op, "closeBox");
}

TEST(MellowMetadata, ThirtySortedPairs)
{
    mellow k;  // needs no init
    RecordingMeta rec;
    k.metadata(&rec);
    ASSERT_EQ(rec.pairs.size(), 30u);
    EXPECT_EQ(rec.firstKeyOutOfOrder(), "");
    int libraries = 0, libraryFields = 0, functionKeys = 0, fieldless = 0;
    std::string name, filename, options;
    for (auto& p : rec.pairs) {
        const std::string key = p.first;
        if (key == "name") name = p.second;
        if (key == "filename") filename = p.second;
        if (key == "compile_options") options = p.second;
        const auto slash = key.find('/');
        if (slash == std::string::npos) continue;
        const std::string item = key.substr(slash + 1);
        if (item == "name") ++libraries;
        else if (item == "author" || item == "copyright" || item == "license") ++libraryFields;
        else if (item != "version") {
            ++functionKeys;
            if (item.find(':') == std::string::npos) ++fieldless;
        }
    }
    EXPECT_EQ(name, "mellow");
    EXPECT_EQ(filename, "mellow.cpp");
    EXPECT_FALSE(options.empty());
    EXPECT_EQ(libraries, 4);
    EXPECT_EQ(libraryFields, 3);
    EXPECT_EQ(functionKeys, 16);
    EXPECT_EQ(fieldless, 1);

    MY_Meta collected;
    k.metadata(&collected);
    k.metadata(&collected);
    EXPECT_EQ(collected.pairs.size(), 30u);
}
