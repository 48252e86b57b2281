// libFuzzer target: one plug-in (the build picks it, as for the Pd module)
// driven in-process through the host double of Pd. An input is a scenario:
// creation arguments, then messages, DSP starts, blocks of audio, deletions
// and recreations, and failed allocations, in any order.
//
// Checked besides the sanitizers: every output sample is finite when the
// promise covers it (see finite_watch.h), perform leaves the processor's
// floating-point control as it found it, and deleting an object releases
// every raw block the adapter allocated.
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#if defined(__x86_64__) || defined(__i386__)
#include <xmmintrin.h>
#endif

#include "adapter/quill_object.h"
#include "fuzz/support/byte_reader.h"
#include "fuzz/support/finite_watch.h"
#include "fuzz/support/values.h"
#include "tests/adapter/support/failing_memory.h"
#include "tests/adapter/support/pd_host_double.h"

extern "C" void QUILL_SETUP_ENTRY(void);

#define FUZZ_CHECK(condition, ...)                       \
    do {                                                 \
        if (!(condition)) {                              \
            std::fprintf(stderr, "fuzz check failed: "); \
            std::fprintf(stderr, __VA_ARGS__);           \
            std::fprintf(stderr, "\n");                  \
            std::abort();                                \
        }                                                \
    } while (0)

namespace {

constexpr long kSampleBudget = 1L << 17;  // samples computed per input, at most
constexpr int kOperationLimit = 400;

int graceBlocks()
{
    const char* strict = std::getenv("QUILL_FUZZ_STRICT");
    return strict != nullptr && std::strcmp(strict, "1") == 0 ? 0 : 1;
}

#if !QUILL_HEADER_HAS_MULTICHANNEL
#error "the fuzz targets build against a Pd header with multichannel signals (0.54 or later)"
#endif

bool multiMode(const t_quill* x)
{
    if (Revision::kTakesFlags) return x->multi;
    return Voices::kEnabled && g_signal_setmultiout != nullptr;  // a voice per channel of the inlet
}

// QUILL_FUZZ_TRACE=1 prints each operation, to see what an input does.
bool tracing()
{
    static const bool on = std::getenv("QUILL_FUZZ_TRACE") != nullptr;
    return on;
}

#define FUZZ_TRACE(...)                                  \
    do {                                                 \
        if (tracing()) std::fprintf(stderr, __VA_ARGS__); \
    } while (0)

unsigned floatControlWord()
{
#if defined(__x86_64__) || defined(__i386__)
    return _mm_getcsr();
#else
    return 0;
#endif
}

t_atom atomFrom(fuzz::ByteReader& in, bool creation)
{
    // Floats and symbols the most often, every other tag now and then.
    static const t_atomtype others[] = {A_NULL, A_POINTER, A_SEMI,  A_COMMA, A_DEFFLOAT, A_DEFSYM,
                                        A_DOLLAR, A_DOLLSYM, A_GIMME, A_CANT};
    const unsigned k = in.pick(creation ? 16 : 20);
    t_atom a;
    if (k < 7) {
        SETFLOAT(&a, fuzz::edgeFloat(in));
    } else if (k < 13) {
        SETSYMBOL(&a, gensym(fuzz::word(in).c_str()));
    } else {
        a.a_type = others[in.pick(sizeof others / sizeof others[0])];
        if (a.a_type == A_DEFFLOAT)
            a.a_w.w_float = fuzz::edgeFloat(in);
        else if (a.a_type == A_DOLLAR)
            a.a_w.w_index = static_cast<int>(in.u8());
        else
            a.a_w.w_symbol = gensym(fuzz::word(in).c_str());  // a valid pointer for every tag
    }
    return a;
}

std::vector<t_atom> atomsFrom(fuzz::ByteReader& in, unsigned most, bool creation)
{
    std::vector<t_atom> atoms(in.pick(most + 1));
    for (t_atom& a : atoms) a = atomFrom(in, creation);
    return atoms;
}

// A selector: a tail of some control's name, a word the adapter knows, or garbage.
std::string selectorFrom(fuzz::ByteReader& in, const t_quill* x)
{
    const unsigned k = in.pick(12);
    const PdUI* registry = x->registry;
    if (k < 5 && registry != nullptr && registry->n_elems > 0) {
        const ui_elem_entry_t& e = registry->entries[in.pick(static_cast<unsigned>(registry->n_elems))];
        if (e.full_name == nullptr) return "";
        std::string name = e.full_name;
        // Drop a chosen number of leading components; 0 keeps the leading "/".
        unsigned drop = in.pick(5);
        std::string::size_type at = 0;
        for (unsigned i = 0; i < drop && at != std::string::npos; ++i) at = name.find('/', at + 1);
        std::string tail = at == std::string::npos ? name.substr(name.rfind('/') + 1)
                                                   : (drop == 0 ? name : name.substr(at + 1));
        switch (in.pick(6)) {
        case 0: return tail + "/";
        case 1: return tail.substr(1);
        default: return tail;
        }
    }
    static const char* const known[] = {"bang", "active", "", "float", "list", "symbol", "signal"};
    const unsigned w = in.pick(8);
    if (w < 7) {
        // The earlier revision has a method of its own for "signal".
        if (!QUILL_LEVELER_REVISION && w == 6) return "active";
        return known[w];
    }
    return fuzz::word(in);
}

class Scenario {
public:
    explicit Scenario(fuzz::ByteReader& in) : in_(in), watch_(graceBlocks()) {}

    void run()
    {
        for (int op = 0; op < kOperationLimit && !in_.empty(); ++op) {
            if (x_ == nullptr) create();
            switch (in_.pick(16)) {
            case 0: case 1: case 2: case 3: case 4: message(); break;
            case 5: case 6: startDsp(); break;
            case 7: case 8: case 9: case 10: case 11: blocks(); break;
            case 12: destroy(); break;
            case 13: {
                const int k = 1 + static_cast<int>(in_.pick(12));
                FUZZ_TRACE("allocation %d from now fails\n", k);
                failing_memory::failAt(k);
                break;
            }
            case 14: activeMessage(); break;
            default: setControl(); break;
            }
            forgetReplies();
        }
        if (x_ != nullptr) destroy();
        failing_memory::failAt(0);
    }

private:
    void create()
    {
        // Some hosts have no multichannel signals; the choice holds for this object.
        static const quill_setmultiout_fn real = g_signal_setmultiout;
        if (Revision::kTakesFlags || Voices::kEnabled) g_signal_setmultiout = in_.pick(4) == 0 ? nullptr : real;
        std::vector<t_atom> args = atomsFrom(in_, 5, true);
        x_ = static_cast<t_quill*>(quill_new(gensym(QUILL_CLASS_NAME), static_cast<int>(args.size()), args.data()));
        FUZZ_TRACE("create: %zu arguments, %s\n", args.size(), x_ && x_->kernel ? "working" : "inert");
        FUZZ_CHECK(x_ != nullptr, "quill_new returned null");
        running_ = false;
        watch_ = fuzz::FiniteWatch(graceBlocks());  // a new kernel: no history
    }

    void destroy()
    {
        FUZZ_TRACE("delete\n");
        // As Pd does (and host::deleteObject, which calls through Pd's untyped
        // destructor pointer, a call clang's function sanitizer rejects).
        quill_free(x_);
        std::free(x_);
        x_ = nullptr;
        // Pd rebuilds its chain without the deleted object.
        host::record().chain.clear();
        running_ = false;
        FUZZ_CHECK(failing_memory::liveBlocks() == 0, "%ld raw blocks still held after deletion",
                   failing_memory::liveBlocks());
    }

    void message()
    {
        const std::string selector = selectorFrom(in_, x_);
        std::vector<t_atom> args = atomsFrom(in_, 3, false);
        FUZZ_TRACE("message '%s' with %zu atoms\n", selector.c_str(), args.size());
        quill_any(x_, gensym(selector.c_str()), static_cast<int>(args.size()), args.data());
    }

    void activeMessage()
    {
        std::vector<t_atom> args = atomsFrom(in_, 2, false);
        FUZZ_TRACE("active with %zu atoms\n", args.size());
        quill_any(x_, gensym("active"), static_cast<int>(args.size()), args.data());
    }

    // A control set to an edge value by its full name.
    void setControl()
    {
        if (x_->registry == nullptr || x_->registry->n_elems == 0) return;
        const ui_elem_entry_t& e = x_->registry->entries[in_.pick(static_cast<unsigned>(x_->registry->n_elems))];
        t_atom value;
        SETFLOAT(&value, fuzz::edgeFloat(in_));
        FUZZ_TRACE("set %s %g\n", e.full_name ? e.full_name : "(no name)", static_cast<double>(value.a_w.w_float));
        if (e.full_name != nullptr) quill_any(x_, gensym(e.full_name), 1, &value);
    }

    // Signals laid out as Pd hands them over: signal inlets (the earlier
    // revision's leftmost inlet first), then signal outlets; an outlet may
    // reuse an inlet's signal, as Pd does.
    void startDsp()
    {
        const float rate = fuzz::dspRate(in_);
        n_ = fuzz::blockSize(in_);
        const host::Ports& ports = host::record().ports[&x_->x_obj];
        // Up to 4 channels for "-m", up to 17 voices (whole and partial lanes).
        const int channels = 1 + static_cast<int>(in_.pick(QUILL_LEVELER_REVISION ? 4 : 17));
        sp_.clear();
        inputs_.clear();
        const int inlets = ports.signalInlets == 0 && ports.outletTypes.empty()
                               ? 0  // an inert object has no ports at all
                               : ports.signalInlets + (QUILL_LEVELER_REVISION ? 0 : 1);
        for (int i = 0; i < inlets; ++i) {
            t_signal* s = host::makeSignal(n_, rate, multiMode(x_) ? channels : 1);
            sp_.push_back(s);
            inputs_.push_back(s);
        }
        std::vector<bool> reused(inputs_.size(), false);
        for (t_symbol* type : ports.outletTypes) {
            if (type != &s_signal) continue;
            const unsigned k = in_.pick(4);
            if (k < inputs_.size() && !reused[k] && inputs_[k]->s_nchans == 1) {
                reused[k] = true;
                sp_.push_back(inputs_[k]);
            } else {
                sp_.push_back(host::makeSignal(n_, rate, 1));
            }
        }
        sp_.push_back(nullptr);
        host::record().chain.clear();
        quill_dsp(x_, sp_.data());
        outputs_.assign(sp_.begin() + static_cast<long>(inputs_.size()), sp_.end() - 1);
        running_ = !host::record().chain.empty();
        FUZZ_TRACE("dsp at %g, block %d, %zu inputs, %zu outputs%s\n", static_cast<double>(rate), n_,
                   inputs_.size(), outputs_.size(), running_ ? "" : " (not in the chain)");
    }

    void blocks()
    {
        const unsigned count = 1 + in_.pick(8);
        for (unsigned b = 0; b < count; ++b) {
            if (!running_ || samples_ + n_ > kSampleBudget) return;
            samples_ += n_;
            bool clean = true;
            for (t_signal* s : inputs_) {
                const int channels = s->s_nchans;
                for (int c = 0; c < channels; ++c) clean = fuzz::fillBlock(in_, s->s_vec + c * n_, n_) && clean;
            }
            if (!clean && tracing()) traceUnclean();
            const unsigned before = floatControlWord();
            host::runChain();
            FUZZ_CHECK(floatControlWord() == before, "perform changed the float control word %#x to %#x", before,
                       floatControlWord());
            const bool covered = x_->kernel != nullptr && x_->kernel->getSampleRate() >= 1;
            const bool checked = watch_.block(clean, covered);
            FUZZ_TRACE("block of %d: input %s, output %s\n", n_, clean ? "clean" : "unclean",
                       checked ? "checked" : "not checked");
            if (checked) checkFinite();
#ifdef QUILL_FUZZ_OUTPUT_LIMIT
            checkLimit();
#endif
        }
    }

#ifdef QUILL_FUZZ_OUTPUT_LIMIT
    // An oscillator's promise for any input whatever, finite or not.
    void checkLimit() const
    {
        for (std::size_t o = 0; o < outputs_.size(); ++o) {
            const t_signal* s = outputs_[o];
            for (int i = 0; i < n_ * s->s_nchans; ++i)
                FUZZ_CHECK(std::fabs(s->s_vec[i]) <= QUILL_FUZZ_OUTPUT_LIMIT, "outlet %zu sample %d is %g", o, i,
                           static_cast<double>(s->s_vec[i]));
        }
    }
#endif

    void traceUnclean() const
    {
        for (const t_signal* s : inputs_)
            for (int i = 0; i < n_ * s->s_nchans; ++i)
                if (!fuzz::isCleanSample(s->s_vec[i])) {
                    FUZZ_TRACE("  first unclean input sample: %g at %d\n", static_cast<double>(s->s_vec[i]), i);
                    return;
                }
    }

    void checkFinite() const
    {
        for (std::size_t o = 0; o < outputs_.size(); ++o) {
            const t_signal* s = outputs_[o];
            const int length = n_ * s->s_nchans;
            for (int i = 0; i < length; ++i)
                FUZZ_CHECK(std::isfinite(s->s_vec[i]),
                           "outlet %zu sample %d is %g after clean input (kernel rate %d, block %d)", o, i,
                           static_cast<double>(s->s_vec[i]), x_->kernel->getSampleRate(), n_);
        }
    }

    static void forgetReplies()
    {
        host::Record& r = host::record();
        r.posts.clear();
        r.errors.clear();
        r.messages.clear();
    }

    fuzz::ByteReader& in_;
    fuzz::FiniteWatch watch_;
    t_quill* x_ = nullptr;
    bool running_ = false;
    int n_ = 64;
    long samples_ = 0;
    std::vector<t_signal*> sp_;
    std::vector<t_signal*> inputs_;
    std::vector<t_signal*> outputs_;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size)
{
    static const bool loaded = [] {
        QUILL_SETUP_ENTRY();
        return true;
    }();
    (void)loaded;
    fuzz::ByteReader in(data, size);
    Scenario(in).run();
    host::reset();  // signals, ports and records of this input; the class stays
    return 0;
}
