// Time per block of each quill object in libpd under moving controls, in
// one instance and in four instances on four threads: median, 99.9th
// percentile and worst. Not a test: scripts/bench_libpd.sh runs it.
//
// Each measured object sits between two [stamp~] objects, chained so that
// Pd's DSP sort puts nothing else between them: the first notes the time as
// its perform routine ends, the second as its own begins. A pair with
// nothing between them gives the floor of the method.
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <unistd.h>

#include "tests/libpd/patch_driver.h"
#include "tests/libpd/patch_instance.h"

namespace quill_libpd {
namespace {

struct Measured {
    const char* label;
    const char* object;   // the object box, its receiver named by its first word
    const char* input;    // "noise", "frequency", "noise8", "frequency8" or "none"
    const char* receiver; // where moveControls sends its controls, or nullptr
};

const Measured kMeasured[] = {
    {"timer floor", nullptr, "noise", nullptr},
    {"klaxon~", "klaxon~", "none", "klaxon"},
    {"mellow~", "mellow~", "noise", "mellow"},
    {"zigzag~", "zigzag~", "frequency", "zigzag"},
    {"leveler~", "leveler~", "noise", "leveler"},
    {"leveler~ -m", "leveler~ -m", "noise", "multi"},
    {"mellow~, 8 voices", "mellow~", "noise8", "voices"},
    {"zigzag~, 8 voices", "zigzag~", "frequency8", "zvoices"},
};
constexpr int kMeasuredCount = sizeof kMeasured / sizeof kMeasured[0];

// ---- [stamp~ SLOT ROLE]: passes its right inlet's signal through and notes the time.

thread_local std::int64_t* tl_stamps = nullptr;  // 2 per slot, the running thread's

std::int64_t nowNs()
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

struct Stamp {
    t_object obj;
    t_float left;
    int slot;
    int role;  // 0: before the measured object, 1: after
};
t_class* stamp_class = nullptr;

t_int* stamp_perform(t_int* w)
{
    auto* x = reinterpret_cast<Stamp*>(w[1]);
    auto* in = reinterpret_cast<t_sample*>(w[2]);
    auto* out = reinterpret_cast<t_sample*>(w[3]);
    const auto n = static_cast<std::size_t>(w[4]);
    if (x->role == 1 && tl_stamps != nullptr) tl_stamps[2 * x->slot + 1] = nowNs();
    if (in != out) std::memmove(out, in, n * sizeof(t_sample));
    if (x->role == 0 && tl_stamps != nullptr) tl_stamps[2 * x->slot] = nowNs();
    return w + 5;
}

void stamp_dsp(Stamp* x, t_signal** sp)
{
    const int channels = sp[1]->s_nchans;
    signal_setmultiout(&sp[2], channels);
    dsp_add(stamp_perform, 4, x, sp[1]->s_vec, sp[2]->s_vec, static_cast<t_int>(sp[1]->s_length * channels));
}

void* stamp_new(t_floatarg slot, t_floatarg role)
{
    auto* x = reinterpret_cast<Stamp*>(pd_new(stamp_class));
    x->left = 0;
    x->slot = static_cast<int>(slot);
    x->role = static_cast<int>(role);
    inlet_new(&x->obj, &x->obj.ob_pd, gensym("signal"), gensym("signal"));
    outlet_new(&x->obj, gensym("signal"));
    return x;
}

void setupStamp()
{
    stamp_class = class_new(gensym("stamp~"), reinterpret_cast<t_newmethod>(reinterpret_cast<void (*)()>(stamp_new)),
                            nullptr, sizeof(Stamp), CLASS_MULTICHANNEL, A_DEFFLOAT, A_DEFFLOAT, 0);
    CLASS_MAINSIGNALIN(stamp_class, Stamp, left);
    class_addmethod(stamp_class, reinterpret_cast<t_method>(reinterpret_cast<void (*)()>(stamp_dsp)), gensym("dsp"),
                    A_CANT, 0);
}

// ---- The patch: adc~, two [snake~ in 8], then the chain of stamped objects.

std::string benchPatch()
{
    std::ostringstream p;
    std::vector<std::string> connections;
    int next = 0;
    auto obj = [&](const std::string& text) {
        p << "#X obj 10 " << 10 + 30 * next << " " << text << ";\n";
        return next++;
    };
    auto connect = [&](int a, int outlet, int b, int inlet) {
        std::ostringstream c;
        c << "#X connect " << a << " " << outlet << " " << b << " " << inlet << ";\n";
        connections.push_back(c.str());
    };
    p << "#N canvas 0 50 600 800 12;\n";
    const int adc = obj("adc~ 1 2");
    const int noise8 = obj("snake~ in 8");
    const int frequency8 = obj("snake~ in 8");
    for (int i = 0; i < 8; ++i) {
        connect(adc, 0, noise8, i);
        connect(adc, 1, frequency8, i);
    }
    int previous = adc;
    for (int k = 0; k < kMeasuredCount; ++k) {
        const Measured& m = kMeasured[k];
        const int before = obj("stamp~ " + std::to_string(k) + " 0");
        const int after = obj("stamp~ " + std::to_string(k) + " 1");
        connect(previous, 0, before, 0);  // order only
        const std::string input = m.input;
        if (input == "noise" || input == "none") connect(adc, 0, before, 1);
        if (input == "frequency") connect(adc, 1, before, 1);
        if (input == "noise8") connect(noise8, 0, before, 1);
        if (input == "frequency8") connect(frequency8, 0, before, 1);
        if (m.object == nullptr) {
            connect(before, 0, after, 0);
            connect(before, 0, after, 1);
        } else {
            const int object = obj(m.object);
            const int receiver = obj(std::string("r ") + m.receiver);
            connect(receiver, 0, object, 0);
            // klaxon~ has no signal input: its left inlet takes the signal that orders it.
            connect(before, 0, object, input == "none" ? 0 : 1);
            connect(object, 1, after, 0);
            connect(object, 1, after, 1);
        }
        previous = after;
    }
    const int dac = obj("dac~ 1");
    connect(previous, 0, dac, 0);
    for (const auto& c : connections) p << c;
    return p.str();
}

// ---- Running and reporting.

struct Times {
    std::vector<std::int64_t> perObject[kMeasuredCount];
};

void runInstance(const PatchInstance& instance, long blocks, long warmUp, Times& times)
{
    std::int64_t stamps[2 * kMeasuredCount] = {};
    tl_stamps = stamps;
    instance.makeCurrent();
    // The test patch's inputs and outputs (PatchInstance opens every patch
    // so); this patch reads the first two inputs.
    std::vector<t_sample> in(kBlock * kInputs);
    std::vector<t_sample> out(kBlockSamples);
    for (auto& v : times.perObject) v.reserve(static_cast<std::size_t>(blocks));
    for (long b = 0; b < blocks; ++b) {
        moveControls(b);
        fillInputs(b, in.data());
        instance.process(in.data(), out.data());
        if (b < warmUp) continue;
        for (int k = 0; k < kMeasuredCount; ++k) times.perObject[k].push_back(stamps[2 * k + 1] - stamps[2 * k]);
    }
    tl_stamps = nullptr;
}

struct Summary {
    double median, p999, worst;  // microseconds
};

Summary summarise(std::vector<std::int64_t> ns)
{
    std::sort(ns.begin(), ns.end());
    const std::size_t n = ns.size();
    const std::size_t p999 = (n * 999 + 999) / 1000 - 1;  // the 99.9th percentile, rounded up
    return {static_cast<double>(ns[n / 2]) / 1000.0, static_cast<double>(ns[p999]) / 1000.0,
            static_cast<double>(ns[n - 1]) / 1000.0};
}

std::vector<Times> runConcurrently(int count, const std::string& pluginDir, const std::string& dir, long blocks,
                                   long warmUp)
{
    std::vector<std::unique_ptr<PatchInstance>> instances;
    for (int i = 0; i < count; ++i) instances.push_back(std::make_unique<PatchInstance>(pluginDir, dir, "bench.pd"));
    std::vector<Times> times(static_cast<std::size_t>(count));
    std::atomic<int> waiting{count};
    std::vector<std::thread> threads;
    for (int i = 0; i < count; ++i) {
        threads.emplace_back([&, i] {
            waiting.fetch_sub(1);
            while (waiting.load() > 0) std::this_thread::yield();
            runInstance(*instances[i], blocks, warmUp, times[i]);
        });
    }
    for (auto& t : threads) t.join();
    instances.clear();
    return times;
}

}  // namespace
}  // namespace quill_libpd

int main()
{
    using namespace quill_libpd;
    const char* plugins = std::getenv("QUILL_PLUGIN_DIR");
    if (plugins == nullptr) {
        std::fprintf(stderr, "QUILL_PLUGIN_DIR names the modules' folder\n");
        return 2;
    }
    const char* blocksText = std::getenv("QUILL_BENCH_BLOCKS");
    const long blocks = blocksText != nullptr ? std::strtol(blocksText, nullptr, 10) : 20000;
    const long warmUp = 200;
    if (blocks <= warmUp) {
        std::fprintf(stderr, "QUILL_BENCH_BLOCKS must exceed the %ld blocks of warm-up\n", warmUp);
        return 2;
    }

    char dir[] = "/tmp/quill-libpd-bench-XXXXXX";
    if (mkdtemp(dir) == nullptr) return 2;
    std::ofstream(std::string(dir) + "/bench.pd") << benchPatch();

    startLibpd();
    setupStamp();
    // The modules load in one instance before several threads open the patch.
    runConcurrently(1, plugins, dir, warmUp + 1, warmUp);

    const auto one = runConcurrently(1, plugins, dir, blocks, warmUp);
    const auto four = runConcurrently(4, plugins, dir, blocks, warmUp);
    std::remove((std::string(dir) + "/bench.pd").c_str());
    rmdir(dir);

    std::printf("libpd 0.57, %s precision, %d Hz, %d-sample blocks, controls moving every block;\n"
                "%ld blocks per instance after %ld of warm-up; %u processors.\n"
                "Microseconds per block (the four instances' blocks pooled):\n\n",
                PD_FLOATSIZE == 64 ? "double" : "single", kRate, kBlock, blocks - warmUp, warmUp,
                std::thread::hardware_concurrency());
    std::printf("%-20s %10s %10s %10s   %10s %10s %10s\n", "", "one:", "", "", "four:", "", "");
    std::printf("%-20s %10s %10s %10s   %10s %10s %10s\n", "object", "median", "99.9%", "worst", "median", "99.9%",
                "worst");
    for (int k = 0; k < kMeasuredCount; ++k) {
        std::vector<std::int64_t> pooled;
        for (const Times& t : four) pooled.insert(pooled.end(), t.perObject[k].begin(), t.perObject[k].end());
        const Summary a = summarise(one[0].perObject[k]);
        const Summary b = summarise(pooled);
        std::printf("%-20s %10.3f %10.3f %10.1f   %10.3f %10.3f %10.1f\n", kMeasured[k].label, a.median, a.p999,
                    a.worst, b.median, b.p999, b.worst);
    }
    return 0;
}
