#include "tests/libpd/patch_driver.h"

#include <cstdint>
#include <initializer_list>

namespace quill_libpd {
namespace {

std::uint32_t hash(std::uint64_t n)
{
    n ^= n >> 33;
    n *= 0xff51afd7ed558ccdULL;
    n ^= n >> 33;
    n *= 0xc4ceb9fe1a85ec53ULL;
    n ^= n >> 33;
    return static_cast<std::uint32_t>(n);
}

// In [-0.5, 0.5); every value a float.
float noise(std::uint64_t n)
{
    return static_cast<float>(static_cast<std::int32_t>(hash(n))) * 0x1p-32f;
}

// 0 -> 1 -> 0 over `period` steps.
float triangle(long step, long period)
{
    const float p = static_cast<float>(step % period) / static_cast<float>(period);
    return p < 0.5f ? 2.0f * p : 2.0f - 2.0f * p;
}

void send(const char* receiver, const char* selector, float value)
{
    t_atom a;
    libpd_set_float(&a, value);
    libpd_message(receiver, selector, 1, &a);
}

void send(const char* receiver, const char* selector) { libpd_message(receiver, selector, 0, nullptr); }

struct Word {
    Word(const char* s) : symbol(s) {}
    Word(int f) : number(static_cast<float>(f)) {}
    const char* symbol = nullptr;
    float number = 0.0f;
};

void send(const char* receiver, const char* selector, std::initializer_list<Word> words)
{
    libpd_start_message(static_cast<int>(words.size()));
    for (const Word& w : words) {
        if (w.symbol != nullptr)
            libpd_add_symbol(w.symbol);
        else
            libpd_add_float(w.number);
    }
    libpd_finish_message(receiver, selector);
}

void restartDsp()
{
    send("pd", "dsp", 0.0f);
    send("pd", "dsp", 1.0f);
}

constexpr long kChurnPeriod = 400;

// Objects created in [pd churn] while DSP runs: mellow~ and klaxon~ heard
// through [throw~ churn], zigzag~ and leveler~ -m silent, replies through
// the main patch's [route].
void createChurnObjects()
{
    send("pd-churn", "obj", {10, 10, "r", "churn"});           // 0
    send("pd-churn", "obj", {10, 40, "mellow~", "c"});          // 1
    send("pd-churn", "obj", {10, 70, "s", "churnreply"});       // 2
    send("pd-churn", "obj", {100, 10, "adc~", 1});              // 3
    send("pd-churn", "obj", {10, 100, "throw~", "churn"});      // 4
    send("pd-churn", "obj", {100, 40, "klaxon~", "k"});         // 5
    send("pd-churn", "obj", {200, 40, "zigzag~"});              // 6
    send("pd-churn", "obj", {300, 40, "leveler~", "-m"});       // 7
    send("pd-churn", "obj", {100, 10, "r", "churnk"});          // 8
    const int wires[][4] = {{0, 0, 1, 0}, {1, 0, 2, 0}, {3, 0, 1, 1}, {1, 1, 4, 0}, {5, 1, 4, 0},
                            {3, 0, 6, 1}, {3, 0, 7, 1}, {8, 0, 5, 0}, {5, 0, 2, 0}};
    for (const auto& w : wires) send("pd-churn", "connect", {w[0], w[1], w[2], w[3]});
}

void churn(long block)
{
    switch (block % kChurnPeriod) {
    case 120: createChurnObjects(); break;
    case 150:
        send("churn", "bang");
        send("churnk", "triggerSaw", 1.0f);
        break;
    case 151: send("churn", "cutoff"); break;
    case 152: send("churn", "cutoff", 900.0f); break;
    case 200: restartDsp(); break;
    case 260:
        send("churn", "active");
        send("churnk", "active", 0.0f);
        break;
    case 300: send("pd-churn", "clear"); break;
    case 350: restartDsp(); break;
    default: break;
    }
}

const char* const kSwitched[] = {"klaxon", "mellow", "zigzag", "leveler", "voices", "zvoices", "multi"};
const char* const kTriggers[] = {"triggerSaw", "triggerSquare", "triggerTriangle", "triggerRevSaw", "triggerRandom"};

}  // namespace

void fillInputs(long block, t_sample* frames)
{
    for (int j = 0; j < kBlock; ++j) {
        const long s = block * kBlock + j;
        const auto n = static_cast<std::uint64_t>(s) * kInputs;
        t_sample* f = frames + j * kInputs;
        f[0] = noise(n);
        f[1] = 40.0f + 5000.0f * triangle(s, 96000);
        f[2] = noise(n + 2);
        f[3] = 0.25f * noise(n + 3);
        f[4] = 110.0f * static_cast<float>(1 + (s / 4096) % 8);
        f[5] = (s / 8192) % 2 == 0 ? 0.0f : 330.0f;
    }
}

void moveControls(long b)
{
    send("mellow", "cutoff", 300.0f + 4000.0f * triangle(b, 480));
    if (b % 3 == 0) {
        send("voices", "cutoff", 200.0f + 6000.0f * triangle(b + 100, 360));
        send("voices", "resonanceQ", 0.7f + 5.0f * triangle(b, 900));
    }
    if (b % 7 == 0) send("mellow", "resonanceQ", 0.7f + 9.0f * triangle(b, 700));
    if (b % 5 == 0) {
        send("leveler", "intensity", triangle(b, 900));
        send("multi", "intensity", 1.0f - triangle(b, 640));
    }
    if (b % 4 == 0) {
        send("klaxon", "pitch", 200.0f + 600.0f * triangle(b, 333));
        send("klaxon", "sweep", triangle(b, 250));
        send("klaxon", "depth", triangle(b + 50, 410));
        send("klaxon", "speed", 0.5f + 8.0f * triangle(b, 530));
    }
    if (b % 250 == 10) send("klaxon", kTriggers[(b / 250) % 5], 1.0f);
    if (b % 250 == 60) send("klaxon", kTriggers[(b / 250) % 5], 0.0f);
    if (b % 250 == 61) send("klaxon", "decay", 0.1f + 2.0f * triangle(b, 1300));
}

void sendMessages(long b, bool withChurn)
{
    moveControls(b);
    // Off, back on within the 75-block crossfade, off again, on.
    for (int k = 0; k < 7; ++k) {
        const long phase = (b - 13 * k) % 600;
        if (phase == 100 || phase == 200) send(kSwitched[k], "active", 0.0f);
        if (phase == 150 || phase == 400) send(kSwitched[k], "active", 1.0f);
    }
    switch (b % 100) {
    case 50: send("mellow", "bang"); break;
    case 51: send("mellow", "cutoff"); break;
    case 52: send("zigzag", "active"); break;
    case 53: send("klaxon", "bang"); break;
    case 54: send("leveler", "intensity"); break;
    case 55: send("multi", "bang"); break;
    case 56: send("voices", "cutoff"); break;
    case 57: send("leveler", "active"); break;
    case 58: send("klaxon", "decay"); break;
    case 59: send("multi", "intensity"); break;
    default: break;
    }
    if (withChurn) churn(b);
}

bool createsObjects(long block) { return block % kChurnPeriod == 120; }

void switchLevelersOff()
{
    send("leveler", "active", 0.0f);
    send("multi", "active", 0.0f);
}

}  // namespace quill_libpd
