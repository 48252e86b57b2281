// Preloaded into Pd (LD_PRELOAD): stands between the plug-ins and the C
// library's float maths functions.
//   QUILL_LIBM_RECORD=FILE  writes "name argument result" (bits, hex) for
//                           every call, results from the C library;
//   QUILL_LIBM_REPLAY=FILE  answers every call whose argument FILE lists
//                           with the result recorded there, and writes to
//                           QUILL_LIBM_DIFFS each such call where this C
//                           library's own result differs.
// With the results of one machine replayed on another, two builds of the
// plug-ins must agree bit for bit unless something besides the C library
// differs.
#include <dlfcn.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <utility>

namespace {

using Fn = float (*)(float);

struct State {
    FILE* record = nullptr;
    FILE* diffs = nullptr;
    std::map<std::pair<std::string, uint32_t>, uint32_t> replay;
    std::set<std::pair<std::string, uint32_t>> reported;
    std::mutex lock;

    State()
    {
        if (const char* path = std::getenv("QUILL_LIBM_RECORD")) record = std::fopen(path, "w");
        if (const char* path = std::getenv("QUILL_LIBM_DIFFS")) diffs = std::fopen(path, "w");
        if (const char* path = std::getenv("QUILL_LIBM_REPLAY")) {
            if (FILE* in = std::fopen(path, "r")) {
                char name[16];
                unsigned arg = 0, result = 0;
                while (std::fscanf(in, "%15s %x %x", name, &arg, &result) == 3) replay[{name, arg}] = result;
                std::fclose(in);
            }
        }
    }
    ~State()
    {
        if (record) std::fclose(record);
        if (diffs) std::fclose(diffs);
    }
};

State& state()
{
    static State s;
    return s;
}

uint32_t bitsOf(float x)
{
    uint32_t b;
    std::memcpy(&b, &x, 4);
    return b;
}

float fromBits(uint32_t b)
{
    float x;
    std::memcpy(&x, &b, 4);
    return x;
}

float call(const char* name, Fn& real, float x)
{
    if (!real) real = reinterpret_cast<Fn>(dlsym(RTLD_NEXT, name));
    const float own = real(x);
    State& s = state();
    std::lock_guard<std::mutex> guard(s.lock);
    if (s.record) {
        std::fprintf(s.record, "%s %08x %08x\n", name, unsigned(bitsOf(x)), unsigned(bitsOf(own)));
        std::fflush(s.record);  // Pd may leave without running destructors
    }
    auto found = s.replay.find({name, bitsOf(x)});
    if (found == s.replay.end()) return own;
    if (found->second != bitsOf(own) && s.diffs && s.reported.insert(found->first).second) {
        std::fprintf(s.diffs, "%s %08x %08x %08x\n", name, unsigned(bitsOf(x)), unsigned(found->second),
                     unsigned(bitsOf(own)));
        std::fflush(s.diffs);
    }
    return fromBits(found->second);
}

// Opens the files at load, so that their existence shows the library was preloaded.
[[maybe_unused]] const bool kLoaded = (state(), true);

}  // namespace

#define QUILL_REPLAYED(name)                 \
    extern "C" float name(float x)           \
    {                                        \
        static Fn real = nullptr;            \
        return call(#name, real, x);         \
    }

QUILL_REPLAYED(tanf)
QUILL_REPLAYED(expf)
QUILL_REPLAYED(exp2f)
QUILL_REPLAYED(exp10f)
QUILL_REPLAYED(log10f)
