#include "tests/libpd/instance_runs.h"

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <sstream>
#include <thread>

#include "tests/libpd/patch_driver.h"
#include "tests/libpd/patch_instance.h"

namespace quill_libpd {
namespace {

const char* kPatch = "host_test.pd";

long envNumber(const char* name, long fallback)
{
    const char* v = std::getenv(name);
    return v != nullptr && *v != '\0' ? std::strtol(v, nullptr, 10) : fallback;
}

Settings readSettings()
{
    Settings s;
    const char* plugins = std::getenv("QUILL_PLUGIN_DIR");
    s.pluginDir = plugins != nullptr ? plugins : "";
    const char* patches = std::getenv("QUILL_LIBPD_PATCH_DIR");
    s.patchDir = patches != nullptr ? patches : QUILL_LIBPD_SOURCE_DIR;
    s.blocks = envNumber("QUILL_LIBPD_BLOCKS", s.blocks);
    s.rounds = static_cast<int>(envNumber("QUILL_LIBPD_ROUNDS", s.rounds));
    startLibpd();
    return s;
}

Mismatch firstDifference(long block, const t_sample* got, const t_sample* want)
{
    Mismatch m;
    for (int i = 0; i < kBlockSamples; ++i) {
        if (std::memcmp(&got[i], &want[i], sizeof(t_sample)) != 0) {
            m.block = block;
            m.frame = i / kOutputs;
            m.channel = i % kOutputs;
            m.got = got[i];
            m.want = want[i];
            break;
        }
    }
    return m;
}

struct Plan {
    long blocks = 0;
    bool churn = false;
    const Recording* expected = nullptr;  // compare with it, or
    Recording* record = nullptr;          // keep the output
    WatchCalls watch = nullptr;
    long watchFrom = 0;
};

void runBlocks(const PatchInstance& instance, const Plan& plan, InstanceOutcome& outcome)
{
    std::vector<t_sample> in(kBlock * kInputs);
    std::vector<t_sample> out(kBlockSamples);
    const bool watchAudio = plan.watch != nullptr && !plan.churn;
    for (long b = 0; b < plan.blocks; ++b) {
        if (watchAudio && b == plan.watchFrom) plan.watch(&outcome.audioCalls);
        const bool watchCreation = plan.watch != nullptr && plan.churn && createsObjects(b);
        if (watchCreation) plan.watch(&outcome.creationCalls);
        sendMessages(b, plan.churn);
        if (watchCreation) plan.watch(nullptr);
        fillInputs(b, in.data());
        instance.process(in.data(), out.data());
        if (plan.record != nullptr) plan.record->samples.insert(plan.record->samples.end(), out.begin(), out.end());
        if (plan.expected != nullptr && outcome.mismatch.block < 0 &&
            std::memcmp(out.data(), &plan.expected->samples[static_cast<std::size_t>(b) * kBlockSamples],
                        sizeof(t_sample) * kBlockSamples) != 0)
            outcome.mismatch = firstDifference(b, out.data(), &plan.expected->samples[static_cast<std::size_t>(b) * kBlockSamples]);
    }
    if (plan.watch != nullptr) plan.watch(nullptr);
}

}  // namespace

const Settings& settings()
{
    static const Settings s = readSettings();
    return s;
}

std::string describe(const Mismatch& m)
{
    if (m.block < 0) return "none";
    std::ostringstream text;
    text.precision(17);
    text << "block " << m.block << ", output channel " << m.channel << ", frame " << m.frame << ": " << m.got
         << " instead of " << m.want;
    return text.str();
}

Recording recordOneInstance(bool churn)
{
    const Settings& s = settings();
    Recording r;
    r.samples.reserve(static_cast<std::size_t>(s.blocks) * kBlockSamples);
    PatchInstance instance(s.pluginDir, s.patchDir, kPatch);
    Plan plan;
    plan.blocks = s.blocks;
    plan.churn = churn;
    plan.record = &r;
    auto outcome = std::make_unique<InstanceOutcome>();
    runBlocks(instance, plan, *outcome);
    r.replies = instance.replies();
    r.console = instance.console();
    return r;
}

std::vector<InstanceOutcome> runFourInstances(const Recording& plain, const Recording& churned, int churner,
                                              WatchCalls watch, long watchFrom)
{
    const Settings& s = settings();
    constexpr int kCount = 4;
    // Opened one after the other on this thread, as a host opens patches.
    std::vector<std::unique_ptr<PatchInstance>> instances;
    for (int i = 0; i < kCount; ++i)
        instances.push_back(std::make_unique<PatchInstance>(s.pluginDir, s.patchDir, kPatch));
    std::vector<InstanceOutcome> outcomes(kCount);
    std::atomic<int> waiting{kCount};
    std::vector<std::thread> threads;
    for (int i = 0; i < kCount; ++i) {
        threads.emplace_back([&, i] {
            Plan plan;
            plan.blocks = s.blocks;
            plan.churn = i == churner;
            plan.expected = plan.churn ? &churned : &plain;
            plan.watch = watch;
            plan.watchFrom = watchFrom;
            instances[i]->makeCurrent();
            // All four start together.
            waiting.fetch_sub(1);
            while (waiting.load() > 0) std::this_thread::yield();
            runBlocks(*instances[i], plan, outcomes[i]);
        });
    }
    for (auto& t : threads) t.join();
    for (int i = 0; i < kCount; ++i) outcomes[i].replies = instances[i]->replies();
    instances.clear();
    return outcomes;
}

}  // namespace quill_libpd
