// quill's modules in Debian's multi-instance libpd: four instances on four
// threads give each exactly what one instance alone gives, outputs and
// routed replies, while one of them creates and deletes objects; quill
// makes no allocation, lock or system call on an audio thread; and in
// libpd64 every output is the single-precision output, widened.
#include <dlfcn.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>

#include <gtest/gtest.h>

#include "tests/libpd/call_report.h"
#include "tests/libpd/instance_runs.h"
#include "tests/libpd/patch_driver.h"
#include "tests/libpd/patch_instance.h"

namespace quill_libpd {
namespace {

// Recorded once: the first opens the patch alone, so that the modules load
// in one instance before several threads open it.
const Recording& reference(bool churn)
{
    static const Recording plain = recordOneInstance(false);
    static const Recording churned = recordOneInstance(true);
    return churn ? churned : plain;
}

// How many replies came out of each [route] outlet (its [list prepend] tag).
std::map<int, int> repliesPerOutlet(const std::string& replies)
{
    std::map<int, int> counts;
    std::size_t at = 0;
    while (at < replies.size()) {
        const std::size_t end = replies.find('\n', at);
        counts[std::atoi(replies.c_str() + at)] += 1;
        at = end == std::string::npos ? replies.size() : end + 1;
    }
    return counts;
}

// The first line where a reply log departs from the reference's.
std::string firstDifferentLine(const std::string& got, const std::string& want)
{
    std::size_t at = 0;
    int line = 1;
    while (at < got.size() && at < want.size()) {
        const std::size_t a = got.find('\n', at);
        const std::size_t b = want.find('\n', at);
        if (a == std::string::npos || b == std::string::npos) break;
        if (a != b || got.compare(at, a - at, want, at, b - at) != 0)
            return "line " + std::to_string(line) + ": \"" + got.substr(at, a - at) + "\" instead of \"" +
                   want.substr(at, b - at) + "\"";
        at = a + 1;
        ++line;
    }
    return got.size() < want.size() ? "replies missing from line " + std::to_string(line)
                                     : "extra replies from line " + std::to_string(line);
}

constexpr int kRouteOutlets = 9;  // host_test.pd's [route] keys; 99 tags the rejected

TEST(LibpdHost, OneInstanceRunsEveryObjectAndRoutesEveryReply)
{
    ASSERT_FALSE(settings().pluginDir.empty()) << "QUILL_PLUGIN_DIR names the modules' folder";
    for (const bool churn : {false, true}) {
        const Recording& r = reference(churn);
        SCOPED_TRACE(churn ? "with objects created and deleted" : "plain");
        ASSERT_EQ(r.samples.size(), static_cast<std::size_t>(settings().blocks) * kBlockSamples);
        // The last channel carries only the objects that the churn creates.
        const int heard = churn ? kOutputs : kOutputs - 1;
        for (int c = 0; c < heard; ++c) {
            bool sounds = false;
            for (std::size_t i = static_cast<std::size_t>(c); i < r.samples.size() && !sounds; i += kOutputs)
                sounds = r.samples[i] != 0;
            EXPECT_TRUE(sounds) << "output channel " << c << " silent; console:\n" << r.console;
        }
        const auto counts = repliesPerOutlet(r.replies);
        for (int outlet = 0; outlet < kRouteOutlets - (churn ? 0 : 1); ++outlet)
            EXPECT_GT(counts.count(outlet), 0u) << "nothing left [route] outlet " << outlet;
        EXPECT_EQ(counts.count(99), 0u) << "replies [route] rejected:\n" << r.replies;
    }
#if PD_FLOATSIZE != 64
    // Kept for the double-precision host to compare with.
    if (const char* out = std::getenv("QUILL_LIBPD_REFERENCE_OUT")) {
        const Recording& r = reference(false);
        std::vector<float> samples(r.samples.begin(), r.samples.end());
        std::ofstream(out, std::ios::binary)
            .write(reinterpret_cast<const char*>(samples.data()), static_cast<std::streamsize>(samples.size() * sizeof(float)));
        std::ofstream(std::string(out) + ".replies") << r.replies;
    }
#endif
}

TEST(LibpdHost, FourInstancesOnFourThreadsMatchOneInstance)
{
    const Recording& plain = reference(false);
    const Recording& churned = reference(true);
    for (int round = 0; round < settings().rounds; ++round) {
        const int churner = round % 4;
        const auto outcomes = runFourInstances(plain, churned, churner);
        for (int i = 0; i < 4; ++i) {
            SCOPED_TRACE("round " + std::to_string(round) + ", instance " + std::to_string(i) +
                         (i == churner ? " (creating and deleting objects)" : ""));
            EXPECT_EQ(outcomes[i].mismatch.block, -1) << describe(outcomes[i].mismatch);
            const std::string& want = (i == churner ? churned : plain).replies;
            EXPECT_TRUE(outcomes[i].replies == want) << firstDifferentLine(outcomes[i].replies, want);
        }
    }
}

TEST(LibpdHost, AudioThreadsMakeNoAllocationLockOrSystemCallFromQuill)
{
    auto watch = reinterpret_cast<WatchCalls>(dlsym(RTLD_DEFAULT, kWatchCallsSymbol));
    ASSERT_NE(watch, nullptr) << "the call counter is not preloaded";
    // From the seventh hundred block on: every kind of message has been
    // handled and every crossfade run once before.
    const long warmUp = 600;
    ASSERT_GT(settings().blocks, warmUp + 400) << "too few blocks to watch";
    const int churner = 0;
    const auto outcomes = runFourInstances(reference(false), reference(true), churner, watch, warmUp);

    // The counter sees quill's calls where there are some: creating objects.
    const CallReport creation = attribute(outcomes[churner].creationCalls, settings().pluginDir);
    EXPECT_GT(creation.quillCalls, 0u) << "no allocation seen while quill objects were created:\n" << creation.text;

    for (int i = 0; i < 4; ++i) {
        if (i == churner) continue;
        SCOPED_TRACE("instance " + std::to_string(i));
        EXPECT_EQ(outcomes[i].mismatch.block, -1) << describe(outcomes[i].mismatch);
        const CallReport audio = attribute(outcomes[i].audioCalls, settings().pluginDir);
        EXPECT_EQ(audio.quillCalls, 0u) << audio.text;
        EXPECT_EQ(audio.dropped, 0u) << audio.text;
        std::printf("audio thread %d, blocks %ld to %ld: %llu calls from quill, %llu from Pd and the host\n", i, warmUp,
                    settings().blocks, static_cast<unsigned long long>(audio.quillCalls),
                    static_cast<unsigned long long>(audio.otherCalls));
    }
}

#if PD_FLOATSIZE == 64
TEST(LibpdHost, DoublePrecisionOutputIsTheSinglePrecisionOutputWidened)
{
    const char* path = std::getenv("QUILL_LIBPD_SINGLE_REFERENCE");
    ASSERT_NE(path, nullptr) << "QUILL_LIBPD_SINGLE_REFERENCE names the single-precision host's recording";
    const Recording& r = reference(false);
    std::vector<float> single(r.samples.size());
    std::ifstream file(path, std::ios::binary);
    file.read(reinterpret_cast<char*>(single.data()), static_cast<std::streamsize>(single.size() * sizeof(float)));
    ASSERT_EQ(file.gcount(), static_cast<std::streamsize>(single.size() * sizeof(float))) << "recording of another length";
    ASSERT_TRUE(file.peek() == EOF) << "recording of another length";
    for (std::size_t i = 0; i < single.size(); ++i) {
        const double widened = single[i];
        if (std::memcmp(&widened, &r.samples[i], sizeof widened) != 0) {
            Mismatch m;
            m.block = static_cast<long>(i / kBlockSamples);
            m.frame = static_cast<int>(i % kBlockSamples) / kOutputs;
            m.channel = static_cast<int>(i % kOutputs);
            m.got = r.samples[i];
            m.want = widened;
            FAIL() << describe(m);
        }
    }
    std::ifstream replies(std::string(path) + ".replies");
    const std::string singleReplies((std::istreambuf_iterator<char>(replies)), std::istreambuf_iterator<char>());
    EXPECT_TRUE(r.replies == singleReplies) << firstDifferentLine(r.replies, singleReplies);
}

TEST(LibpdHost, SwitchedOffLevelerPassesDoublesUnrounded)
{
    reference(false);  // the modules loaded
    const Settings& s = settings();
    PatchInstance instance(s.pluginDir, s.patchDir, "host_test.pd");
    switchLevelersOff();
    std::vector<t_sample> in(kBlock * kInputs);
    std::vector<t_sample> out(kBlockSamples);
    const long fadeEnd = 80;  // the crossfade lasts 75 blocks at 48000 Hz
    for (long b = 0; b < fadeEnd + 20; ++b) {
        fillInputs(b, in.data());
        for (int j = 0; j < kBlock; ++j) {
            const double x = 0.5 * std::sin(static_cast<double>(b * kBlock + j + 1));
            ASSERT_NE(static_cast<double>(static_cast<float>(x)), x);
            in[static_cast<std::size_t>(j) * kInputs + kLevelerInput] = x;
        }
        instance.process(in.data(), out.data());
        if (b < fadeEnd) continue;
        for (int j = 0; j < kBlock; ++j) {
            const t_sample x = in[static_cast<std::size_t>(j) * kInputs + kLevelerInput];
            for (const int c : {kLevelerOutput, kMultiLevelerOutput}) {
                const t_sample y = out[static_cast<std::size_t>(j) * kOutputs + c];
                ASSERT_EQ(std::memcmp(&x, &y, sizeof x), 0)
                    << "block " << b << ", frame " << j << ", channel " << c << ": " << y << " for " << x;
            }
        }
    }
}
#endif

}  // namespace
}  // namespace quill_libpd
