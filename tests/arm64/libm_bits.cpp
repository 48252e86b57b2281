// The single-precision maths functions the kernels once called (they have
// their own maths module now), over a sweep of inputs, for comparing two
// machines' C libraries bit for bit.
//   libm_bits write FILE        results of this machine
//   libm_bits compare A B       every input whose results differ
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <math.h>  // exp10f (GNU)
#include <vector>

namespace {

struct Function {
    const char* name;
    float (*f)(float);
};

const Function kFunctions[] = {
    {"tanf", [](float x) { return std::tan(x); }},
    {"expf", [](float x) { return std::exp(x); }},
    {"exp2f", [](float x) { return std::exp2(x); }},
    {"exp10f", [](float x) { return exp10f(x); }},
    {"log10f", [](float x) { return std::log10(x); }},
};

float fromBits(uint32_t b)
{
    float x;
    std::memcpy(&x, &b, 4);
    return x;
}

uint32_t toBits(float x)
{
    uint32_t b;
    std::memcpy(&b, &x, 4);
    return b;
}

// Every 97th bit pattern, then every float in [-64, 64] with a stride of 8
// units in the last place: the kernels' arguments lie in there.
std::vector<uint32_t> inputs()
{
    std::vector<uint32_t> in;
    for (uint64_t b = 0; b < (uint64_t{1} << 32); b += 97) in.push_back(uint32_t(b));
    for (uint32_t b = 0; b <= toBits(64.0f); b += 8) {
        in.push_back(b);
        in.push_back(b | 0x80000000u);
    }
    return in;
}

int write(const char* path)
{
    const std::vector<uint32_t> in = inputs();
    FILE* f = std::fopen(path, "wb");
    if (!f) return 1;
    std::vector<uint32_t> out(in.size());
    for (const Function& fn : kFunctions) {
        for (size_t i = 0; i < in.size(); ++i) out[i] = toBits(fn.f(fromBits(in[i])));
        std::fwrite(out.data(), 4, out.size(), f);
    }
    return std::fclose(f) == 0 ? 0 : 1;
}

int compare(const char* a, const char* b)
{
    const std::vector<uint32_t> in = inputs();
    FILE* fa = std::fopen(a, "rb");
    FILE* fb = std::fopen(b, "rb");
    if (!fa || !fb) return 2;
    std::vector<uint32_t> oa(in.size()), ob(in.size());
    int status = 0;
    for (const Function& fn : kFunctions) {
        if (std::fread(oa.data(), 4, oa.size(), fa) != oa.size() || std::fread(ob.data(), 4, ob.size(), fb) != ob.size())
            return 2;
        size_t differ = 0;
        for (size_t i = 0; i < in.size(); ++i) {
            if (oa[i] == ob[i]) continue;
            // Two NaNs count as the same result.
            if (std::isnan(fromBits(oa[i])) && std::isnan(fromBits(ob[i]))) continue;
            if (++differ <= 10)
                std::printf("%s(%.9g [0x%08x]) = %.9g [0x%08x] vs %.9g [0x%08x]\n", fn.name, double(fromBits(in[i])),
                            unsigned(in[i]), double(fromBits(oa[i])), unsigned(oa[i]), double(fromBits(ob[i])),
                            unsigned(ob[i]));
        }
        std::printf("%s: %zu of %zu inputs differ\n", fn.name, differ, in.size());
        if (differ) status = 1;
    }
    return status;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc == 3 && std::strcmp(argv[1], "write") == 0) return write(argv[2]);
    if (argc == 4 && std::strcmp(argv[1], "compare") == 0) return compare(argv[2], argv[3]);
    std::fprintf(stderr, "usage: libm_bits write FILE | libm_bits compare A B\n");
    return 2;
}
