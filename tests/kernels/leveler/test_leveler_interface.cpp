// The leveler's side of the kernel interface: rates, block handling, clone,
// control description and metadata.
#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "interface/my_meta.h"
#include "tests/kernels/leveler/leveler_run.h"
#include "tests/kernels/support/recording_sinks.h"

TEST(LevelerRates, ClampedForConstantsButReportedRaw)
{
    struct Case {
        int rate, sameAs;
        float clamped;
    };
    for (Case c : {Case{0, 1, 1.0f}, Case{-1, 1, 1.0f}, Case{INT_MIN, 1, 1.0f}, Case{192001, 192001, 192001.0f}, Case{1536001, 1536000, 1536000.0f},
                   Case{INT_MAX, 1536000, 1536000.0f}}) {
        leveler k, ref;
        k.init(c.rate);
        ref.init(c.sameAs);
        EXPECT_EQ(k.getSampleRate(), c.rate);
        EXPECT_EQ(k.sampleRate, c.rate);
        EXPECT_EQ(k.clampedRate, c.clamped);
        EXPECT_EQ(k.piOverRate, 3.1415927f * (1.0f / c.clamped));
        // Apart from the stored rate, everything equals the clamped rate's kernel.
        std::vector<uint32_t> a = snapshot(k), b = snapshot(ref);
        a.erase(a.begin());
        b.erase(b.begin());
        EXPECT_EQ(a, b) << c.rate;
        const std::vector<float> x = sine(0.4f, 100.0, 1000, 300);
        EXPECT_EQ(runLeveler(k, x), runLeveler(ref, x)) << c.rate;
    }
}

TEST(LevelerRates, ConstantsAt48000)
{
    leveler k;
    k.init(48000);
    EXPECT_FLOAT_EQ(k.smoothIn, 44.1f / 48000.0f);
    EXPECT_FLOAT_EQ(k.bandTan, std::tan(static_cast<float>(M_PI) * 18000.0f / 48000.0f));
    EXPECT_FLOAT_EQ(k.hissCot, 1.0f / std::tan(static_cast<float>(M_PI) * 8000.0f / 48000.0f));
    EXPECT_FLOAT_EQ(k.inputAttack + k.inputReleaseStep, std::exp(-10.0f / 48000.0f));
    EXPECT_FLOAT_EQ(k.detAttack + k.detReleaseStep, k.release);
    // A unit DC input passes the band limit with gain 1: 4 bandNorm / (1 + a1 bandNorm + a2 bandNorm).
    EXPECT_NEAR(4.0f * k.bandNorm / (1.0f + k.bandNorm * (k.bandA1 + k.bandA2)), 1.0f, 1e-5f);
}

TEST(LevelerRates, InstanceConstantsKeepsControlAndState)
{
    leveler k;
    k.init(44100);
    k.intensity = 0.8f;
    runLeveler(k, sine(0.5f, 300.0, 44100, 500));
    const std::vector<uint32_t> before = snapshot(k);
    k.instanceConstants(96000);
    const std::vector<uint32_t> after = snapshot(k);
    EXPECT_EQ(k.intensity, 0.8f);
    EXPECT_EQ(k.clampedRate, 96000.0f);
    // State fields: intensitySmooth (6, 7), noise values (13, 14), hiss (16, 17),
    // input envelope (22, 23), band filter (26 to 30), detector (34, 35),
    // shaped and tone (36 to 39), noise states (40, 41).
    for (size_t i : {6u, 7u, 13u, 14u, 16u, 17u, 22u, 23u, 26u, 27u, 28u, 29u, 30u, 34u, 35u, 36u, 37u, 38u,
                     39u, 40u, 41u})
        EXPECT_EQ(before[i], after[i]) << i;
    k.instanceClear();
    EXPECT_EQ(k.noiseState[1], 0);
    EXPECT_EQ(k.tone[1], 0.0f);
    EXPECT_EQ(k.bandState[2], 0.0f);
    EXPECT_EQ(k.intensitySmooth[1], 0.0f);
    EXPECT_EQ(k.clampedRate, 96000.0f);
    EXPECT_EQ(k.intensity, 0.8f);
}

TEST(LevelerBlocks, CountZeroOrBelowTouchesNothing)
{
    leveler k;
    k.init(44100);
    runLeveler(k, sine(0.5f, 300.0, 44100, 100));
    const std::vector<uint32_t> before = snapshot(k);
    float in[4] = {0.5f, 0.5f, 0.5f, 0.5f};
    float out[4] = {7.0f, 7.0f, 7.0f, 7.0f};
    float* ins[1] = {in};
    float* outs[1] = {out};
    for (int count : {0, -1, -64, INT_MIN}) {
        k.compute(count, ins, outs);
        k.compute(count, nullptr, nullptr);  // nothing may be read
    }
    for (float v : out) EXPECT_EQ(v, 7.0f);
    EXPECT_EQ(snapshot(k), before);
}

TEST(LevelerBlocks, InPlaceAndBlockSizeGiveTheSameOutput)
{
    const std::vector<float> x = sine(0.7f, 440.0, 48000, 2000);
    leveler a, b, c;
    a.init(48000);
    b.init(48000);
    c.init(48000);
    const std::vector<float> separate = runLeveler(a, x, 64);
    std::vector<float> buffer = x;
    for (size_t start = 0; start < buffer.size(); start += 64) {
        float* io[1] = {buffer.data() + start};
        b.compute(64 < buffer.size() - start ? 64 : static_cast<int>(buffer.size() - start), io, io);
    }
    EXPECT_EQ(buffer, separate);
    // The control is read per block, so only a constant control allows another block size.
    EXPECT_EQ(runLeveler(c, x, 17), separate);
}

TEST(LevelerBlocks, TimedComputeEqualsPlain)
{
    leveler a, b;
    a.init(44100);
    b.init(44100);
    std::vector<float> in = sine(0.3f, 880.0, 44100, 256), outA(256), outB(256);
    float* ins[1] = {in.data()};
    float* oa[1] = {outA.data()};
    float* ob[1] = {outB.data()};
    a.compute(256, ins, oa);
    dsp& timed = b;
    timed.compute(-98765.4321, 256, ins, ob);
    EXPECT_EQ(outA, outB);
    EXPECT_EQ(snapshot(a), snapshot(b));
}

TEST(LevelerLifecycle, CloneCopiesEverythingAndCarriesOn)
{
    leveler k;
    k.init(48000);
    k.intensity = 0.8f;
    runLeveler(k, sine(0.6f, 500.0, 48000, 1000));
    // The clone must also carry the last good intensity: with a NaN in the
    // cell both go on with 0.8, not the default.
    k.intensity = NAN;
    runLeveler(k, sine(0.6f, 500.0, 48000, 64));
    std::unique_ptr<dsp> copy(k.clone());
    auto* c = dynamic_cast<leveler*>(copy.get());
    ASSERT_NE(c, nullptr);
    ASSERT_NE(c, &k);
    EXPECT_EQ(snapshot(*c), snapshot(k));
    EXPECT_EQ(c->getSampleRate(), 48000);
    const std::vector<float> more = sine(0.6f, 500.0, 48000, 3000);
    const std::vector<float> fromClone = runLeveler(*c, more);
    EXPECT_EQ(fromClone, runLeveler(k, more));
    EXPECT_EQ(snapshot(*c), snapshot(k));

    // The same history with 0.8 in the cell throughout.
    leveler reference;
    reference.init(48000);
    reference.intensity = 0.8f;
    runLeveler(reference, sine(0.6f, 500.0, 48000, 1000));
    runLeveler(reference, sine(0.6f, 500.0, 48000, 64));
    EXPECT_EQ(runLeveler(reference, more), fromClone);
}

TEST(LevelerLifecycle, CountsAndTheIntensitySlider)
{
    leveler k;
    EXPECT_EQ(k.getNumInputs(), 1);
    EXPECT_EQ(k.getNumOutputs(), 1);
    k.init(44100);
    EXPECT_EQ(k.intensity, 0.3f);
    RecordingUI ui;
    k.buildUserInterface(&ui);
    ASSERT_EQ(ui.calls.size(), 3u);
    EXPECT_EQ(ui.calls[0].op, "openVerticalBox");
    EXPECT_EQ(ui.calls[0].label, "leveler");
    EXPECT_EQ(ui.calls[1].op, "addHorizontalSlider");
    EXPECT_EQ(ui.calls[1].label, "intensity");
    EXPECT_EQ(ui.calls[1].cell, &k.intensity);
    EXPECT_EQ(ui.calls[1].init, 0.3f);
    EXPECT_EQ(ui.calls[1].min, 0.0f);
    EXPECT_EQ(ui.calls[1].max, 1.0f);
    EXPECT_EQ(ui.calls[1].step, 0.01f);
    EXPECT_EQ(ui.calls[2].op, "closeBox");
    // A re-init puts the control back to its initial value.
    k.intensity = 0.9f;
    k.init(48000);
    EXPECT_EQ(k.intensity, 0.3f);
}

TEST(LevelerMetadata, FortyOneSortedPairsOfTheRightKinds)
{
    leveler k;  // needs no init
    RecordingMeta rec;
    k.metadata(&rec);
    ASSERT_EQ(rec.pairs.size(), 41u);
    EXPECT_EQ(rec.firstKeyOutOfOrder(), "");
    auto value = [&](const char* key) { return rec.value(key); };
    EXPECT_EQ(value("name"), "leveler");
    EXPECT_EQ(value("filename"), "leveler.cpp");
    EXPECT_NE(value("compile_options"), "<missing>");
    EXPECT_FALSE(value("compile_options").empty());

    int plain = 0, titles = 0, versions = 0, libraryWide = 0, fieldless = 0, authorOnly = 0;
    std::map<std::string, int> functionFields;  // function -> number of its fields
    std::map<std::string, int> libraryFields;
    for (auto& p : rec.pairs) {
        const std::string key = p.first;
        const auto slash = key.find('/');
        if (slash == std::string::npos) {
            ++plain;
            continue;
        }
        const std::string library = key.substr(0, slash), item = key.substr(slash + 1);
        if (item == "name") ++titles;
        else if (item == "version") ++versions;
        else if (item == "author" || item == "copyright" || item == "license") {
            ++libraryWide;
            ++libraryFields[library];
        } else if (item.find(':') == std::string::npos) {
            ++fieldless;
            const std::string notice = p.second;
            EXPECT_TRUE(notice.find("Copyright") != std::string::npos || notice.find("MIT") != std::string::npos);
        } else {
            ++functionFields[library + "/" + item.substr(0, item.find(':'))];
            if (item.substr(item.find(':') + 1) == "author") ++authorOnly;
        }
    }
    EXPECT_EQ(plain, 3);
    EXPECT_EQ(titles, 6);
    EXPECT_EQ(versions, 6);
    EXPECT_EQ(libraryWide, 3);
    EXPECT_EQ(libraryFields.size(), 1u);
    EXPECT_EQ(fieldless, 1);
    int full = 0, single = 0;
    for (auto& f : functionFields) (f.second == 3 ? full : single) += 1;
    EXPECT_EQ(full, 7);
    EXPECT_EQ(single, 1);
    EXPECT_EQ(authorOnly, 8);

    MY_Meta m;
    k.metadata(&m);
    EXPECT_EQ(m.pairs.size(), 41u);
    k.metadata(&m);
    EXPECT_EQ(m.pairs.size(), 41u);
}
