// zigzag's side of the kernel interface: rates, block handling, outputs,
// clone, control description and metadata.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <vector>

#include "interface/my_meta.h"
#include "tests/kernels/support/recording_sinks.h"
#include "tests/kernels/zigzag/zigzag_run.h"

TEST(ZigzagRates, ClampedForConstantsButReportedRaw)
{
    struct Case {
        int rate;
        float clamped;
    };
    for (Case c : {Case{0, 1.0f}, Case{-44100, 1.0f}, Case{1, 1.0f}, Case{44100, 44100.0f},
                   Case{192000, 192000.0f}, Case{192001, 192001.0f}, Case{1536000, 1536000.0f}, Case{1536001, 1536000.0f}, Case{1000000, 1000000.0f}, Case{2000000, 1536000.0f}}) {
        zigzag k;
        k.init(c.rate);
        EXPECT_EQ(k.getSampleRate(), c.rate);
        EXPECT_EQ(k.sampleRate, c.rate);
        EXPECT_EQ(k.clampedRate, c.clamped);
        EXPECT_EQ(k.invRate, 1.0f / c.clamped);
        EXPECT_EQ(k.ampScale, (1.0f / c.clamped) * 4.0f);
        // The first sample follows the clamped rate too.
        const float f = 0.1f * c.clamped;
        ZigzagRun r = runZigzag(k, {f});
        EXPECT_EQ(r.out0[0], f * k.ampScale * -1.0f) << c.rate;
    }
}

TEST(ZigzagBlocks, CountZeroOrBelowTouchesNothing)
{
    zigzag k;
    k.init(44100);
    runZigzag(k, std::vector<float>(10, 500.0f));
    const float p0 = k.phase[0], p1 = k.phase[1], i0 = k.integrator[0], i1 = k.integrator[1];
    float in[4] = {1000.0f, 1000.0f, 1000.0f, 1000.0f};
    float a[4] = {7.0f, 7.0f, 7.0f, 7.0f}, b[4] = {7.0f, 7.0f, 7.0f, 7.0f};
    float* ins[1] = {in};
    float* outs[2] = {a, b};
    for (int count : {0, -1, -64}) {
        k.compute(count, ins, outs);
        k.compute(count, nullptr, nullptr);  // nothing may be read
    }
    for (int n = 0; n < 4; ++n) {
        EXPECT_EQ(a[n], 7.0f);
        EXPECT_EQ(b[n], 7.0f);
    }
    EXPECT_EQ(k.phase[0], p0);
    EXPECT_EQ(k.phase[1], p1);
    EXPECT_EQ(k.integrator[0], i0);
    EXPECT_EQ(k.integrator[1], i1);
}

TEST(ZigzagBlocks, OutputsIdenticalAndBlockSizeIrrelevant)
{
    std::vector<float> sweep(3000);
    for (size_t n = 0; n < sweep.size(); ++n) sweep[n] = 20.0f + 7.0f * static_cast<float>(n);
    zigzag a, b;
    a.init(48000);
    b.init(48000);
    ZigzagRun ra = runZigzag(a, sweep, 64);
    ZigzagRun rb = runZigzag(b, sweep, 17);
    for (size_t n = 0; n < sweep.size(); ++n) {
        ASSERT_EQ(ra.out0[n], ra.out1[n]) << n;
        ASSERT_EQ(ra.out0[n], rb.out0[n]) << n;
    }
}

TEST(ZigzagBlocks, TimedComputeEqualsPlain)
{
    zigzag a, b;
    a.init(44100);
    b.init(44100);
    std::vector<float> in(256, 880.0f), a0(256), a1(256), b0(256), b1(256);
    float* ins[1] = {in.data()};
    float* outsA[2] = {a0.data(), a1.data()};
    float* outsB[2] = {b0.data(), b1.data()};
    a.compute(256, ins, outsA);
    dsp& timed = b;
    timed.compute(12345.678, 256, ins, outsB);
    EXPECT_EQ(a0, b0);
    EXPECT_EQ(a1, b1);
}

TEST(ZigzagLifecycle, CloneIsBlank)
{
    zigzag k;
    k.init(44100);
    runZigzag(k, std::vector<float>(100, 300.0f));
    std::unique_ptr<dsp> c(k.clone());
    auto* z = dynamic_cast<zigzag*>(c.get());
    ASSERT_NE(z, nullptr);
    EXPECT_EQ(z->sampleRate, 0);
    EXPECT_EQ(z->clampedRate, 0.0f);
    EXPECT_EQ(z->ampScale, 0.0f);
    EXPECT_EQ(z->invRate, 0.0f);
    EXPECT_EQ(z->phase[0], 0.0f);
    EXPECT_EQ(z->phase[1], 0.0f);
    EXPECT_EQ(z->integrator[0], 0.0f);
    EXPECT_EQ(z->integrator[1], 0.0f);
}

TEST(ZigzagLifecycle, CountsAndEmptyControlGroup)
{
    zigzag k;
    EXPECT_EQ(k.getNumInputs(), 1);
    EXPECT_EQ(k.getNumOutputs(), 2);
    k.init(44100);
    RecordingUI ui;
    k.buildUserInterface(&ui);
    ASSERT_EQ(ui.calls.size(), 2u);
    EXPECT_EQ(ui.calls[0].op, "openVerticalBox");
    EXPECT_EQ(ui.calls[0].label, "RUD Aziziver");
    EXPECT_EQ(ui.calls[1].op, "closeBox");
}

TEST(ZigzagMetadata, TwentyOneSortedPairs)
{
    zigzag k;  // needs no init
    RecordingMeta rec;
    k.metadata(&rec);
    ASSERT_EQ(rec.pairs.size(), 21u);
    EXPECT_EQ(rec.firstKeyOutOfOrder(), "");
    auto value = [&](const char* key) { return rec.value(key); };
    EXPECT_EQ(value("name"), "RUD Aziziver");
    EXPECT_EQ(value("filename"), "zigzag.cpp");
    EXPECT_NE(value("compile_options"), "<missing>");
    EXPECT_FALSE(value("compile_options").empty());
    int fieldless = 0, functionKeys = 0;
    for (auto& p : rec.pairs) {
        const std::string key = p.first;
        EXPECT_NE(key, "version");
        EXPECT_NE(key, "author");
        EXPECT_NE(key, "license");
        const auto slash = key.find('/');
        if (slash == std::string::npos) continue;
        const std::string item = key.substr(slash + 1);
        const bool libraryItem = item == "name" || item == "version" || item == "author" ||
                                 item == "copyright" || item == "license";
        if (!libraryItem) {
            ++functionKeys;
            if (item.find(':') == std::string::npos) ++fieldless;
        }
    }
    EXPECT_EQ(functionKeys, 7);
    EXPECT_EQ(fieldless, 1);

    // The same pointers every time.
    RecordingMeta again;
    k.metadata(&again);
    ASSERT_EQ(again.pairs.size(), rec.pairs.size());
    for (size_t n = 0; n < rec.pairs.size(); ++n) EXPECT_EQ(again.pairs[n].first, rec.pairs[n].first);
}

TEST(ZigzagMetadata, CollectorKeysByAddress)
{
    MY_Meta m;
    static const char key[] = "zigzag.cpp/name";
    static const char sameText[] = "zigzag.cpp/name";
    m.declare(key, "first");
    m.declare(key, "second");
    ASSERT_EQ(m.pairs.size(), 1u);
    EXPECT_STREQ(m.pairs.begin()->second, "second");
    m.declare(sameText, "third");
    EXPECT_EQ(m.pairs.size(), 2u);

    zigzag k;
    MY_Meta collected;
    k.metadata(&collected);
    EXPECT_EQ(collected.pairs.size(), 21u);
    k.metadata(&collected);
    EXPECT_EQ(collected.pairs.size(), 21u);
}
