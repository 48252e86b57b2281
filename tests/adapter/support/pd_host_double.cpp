#define PD_CLASS_DEF  // keep the real names of class_addanything and friends
#include "tests/adapter/support/pd_host_double.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

struct _class {
    std::string name;
    t_newmethod creator;
    t_method destructor;
    std::size_t size;
    int flags;
};

struct _outlet {
    const t_object* owner;
    int index;
};

namespace host {

namespace {

// Interned symbols live for the whole program, as in Pd.
struct Interned {
    std::string name;
    t_symbol symbol;
};

std::map<std::string, std::unique_ptr<Interned>>& symbols()
{
    static std::map<std::string, std::unique_ptr<Interned>> table;
    return table;
}

std::vector<std::unique_ptr<_class>>& classes()
{
    static std::vector<std::unique_ptr<_class>> store;
    return store;
}

struct SignalPool {
    std::vector<std::unique_ptr<t_signal>> signals;
    std::vector<std::unique_ptr<std::vector<float>>> vectors;
};

SignalPool& pool()
{
    static SignalPool p;
    return p;
}

std::vector<std::unique_ptr<_outlet>>& outletStore()
{
    static std::vector<std::unique_ptr<_outlet>> store;
    return store;
}

std::string format(const char* fmt, va_list args)
{
    char buffer[4096];
    std::vsnprintf(buffer, sizeof buffer, fmt, args);
    return buffer;
}

}  // namespace

Record& record()
{
    static Record r;
    return r;
}

void reset()
{
    record() = Record();
    pool().signals.clear();
    pool().vectors.clear();
    outletStore().clear();
}

void deleteObject(void* object)
{
    auto* pd = static_cast<t_pd*>(object);
    t_class* cls = *pd;
    reinterpret_cast<void (*)(void*)>(cls->destructor)(object);
    std::free(object);
}

void runChain()
{
    for (PerformCall& call : record().chain) {
        std::vector<t_int> w = call.args;
        w.insert(w.begin(), reinterpret_cast<t_int>(call.routine));
        call.routine(w.data());
    }
}

t_signal* makeSignal(int length, float rate, int channels)
{
    auto samples = std::make_unique<std::vector<float>>(static_cast<std::size_t>(length * channels), 0.0f);
    auto sig = std::make_unique<t_signal>();
    std::memset(sig.get(), 0, sizeof(t_signal));
    sig->s_n = length;
    sig->s_vec = samples->data();
    sig->s_sr = rate;
#ifdef CLASS_MULTICHANNEL
    sig->s_nchans = channels;
#endif
    pool().vectors.push_back(std::move(samples));
    pool().signals.push_back(std::move(sig));
    return pool().signals.back().get();
}

t_atom floatAtom(float f)
{
    t_atom a;
    SETFLOAT(&a, f);
    return a;
}

t_atom symbolAtom(const char* s)
{
    t_atom a;
    SETSYMBOL(&a, gensym(s));
    return a;
}

t_atom atomOfType(t_atomtype type, float f)
{
    t_atom a;
    a.a_type = type;
    a.a_w.w_float = f;
    return a;
}

}  // namespace host

// ---- the Pd API, as far as the adapter uses it ----

t_symbol s_signal = {const_cast<char*>("signal"), nullptr, nullptr};
t_symbol s_bang = {const_cast<char*>("bang"), nullptr, nullptr};
t_symbol s_float = {const_cast<char*>("float"), nullptr, nullptr};
t_symbol s_symbol = {const_cast<char*>("symbol"), nullptr, nullptr};
t_symbol s_list = {const_cast<char*>("list"), nullptr, nullptr};
t_symbol s_anything = {const_cast<char*>("anything"), nullptr, nullptr};
t_symbol s_pointer = {const_cast<char*>("pointer"), nullptr, nullptr};
t_symbol s_ = {const_cast<char*>(""), nullptr, nullptr};

t_symbol* gensym(const char* s)
{
    if (std::strcmp(s, "signal") == 0) return &s_signal;
    if (std::strcmp(s, "bang") == 0) return &s_bang;
    if (s[0] == '\0') return &s_;
    auto& table = host::symbols();
    auto it = table.find(s);
    if (it != table.end()) return &it->second->symbol;
    auto entry = std::make_unique<host::Interned>();
    entry->name = s;
    entry->symbol = t_symbol{const_cast<char*>(entry->name.c_str()), nullptr, nullptr};
    t_symbol* sym = &entry->symbol;
    table[s] = std::move(entry);
    return sym;
}

void nullfn(void) {}

t_class* class_new(t_symbol* name, t_newmethod creator, t_method destructor, size_t size, int flags,
                   t_atomtype arg1, ...)
{
    (void)arg1;
    auto& r = host::record();
    r.className = name->s_name;
    r.classFlags = flags;
    r.classSize = size;
    r.creator = creator;
    r.destructor = destructor;
    host::classes().push_back(std::make_unique<_class>(_class{name->s_name, creator, destructor, size, flags}));
    return host::classes().back().get();
}

void class_addmethod(t_class*, t_method, t_symbol* sel, t_atomtype arg1, ...)
{
    host::record().methodSelectors.push_back(sel->s_name);
    host::record().methodFirstArgTypes.push_back(arg1);
}

void class_addanything(t_class*, t_method) { host::record().anythingRegistered = true; }

const char* class_getname(const t_class* c) { return c->name.c_str(); }

t_pd* pd_new(t_class* cls)
{
    auto* pd = static_cast<t_pd*>(std::calloc(1, cls->size));
    *pd = cls;
    host::record().ports[reinterpret_cast<t_object*>(pd)] = host::Ports();  // addresses are reused
    return pd;
}

t_inlet* inlet_new(t_object* owner, t_pd*, t_symbol* s1, t_symbol*)
{
    if (s1 == &s_signal) host::record().ports[owner].signalInlets++;
    static int token;
    return reinterpret_cast<t_inlet*>(&token);
}

t_outlet* outlet_new(t_object* owner, t_symbol* s)
{
    auto& types = host::record().ports[owner].outletTypes;
    types.push_back(s);
    host::outletStore().push_back(std::make_unique<_outlet>(_outlet{owner, static_cast<int>(types.size()) - 1}));
    return host::outletStore().back().get();
}

void outlet_anything(t_outlet* x, t_symbol* s, int argc, t_atom* argv)
{
    host::OutletMessage m;
    m.outlet = x->index;
    m.selector = s->s_name;
    m.atoms.assign(argv, argv + argc);
    host::record().messages.push_back(m);
}

t_float atom_getfloat(const t_atom* a) { return a->a_type == A_FLOAT ? a->a_w.w_float : 0.0f; }

void dsp_add(t_perfroutine f, int n, ...)
{
    host::PerformCall call;
    call.routine = f;
    va_list args;
    va_start(args, n);
    for (int i = 0; i < n; ++i) call.args.push_back(va_arg(args, t_int));
    va_end(args);
    host::record().chain.push_back(call);
}

void post(const char* fmt, ...)
{
    va_list args;
    va_start(args, fmt);
    host::record().posts.push_back(host::format(fmt, args));
    va_end(args);
}

void pd_error(const void*, const char* fmt, ...)
{
    va_list args;
    va_start(args, fmt);
    host::record().errors.push_back(host::format(fmt, args));
    va_end(args);
}

#ifdef QUILL_HOST_HAS_MULTIOUT
// Pd 0.54's multichannel output: the host allocates the outlet's signal.
extern "C" __attribute__((visibility("default"))) void signal_setmultiout(t_signal** sig, int nchans)
{
    host::record().multioutCalls++;
    const t_signal* old = *sig;
    *sig = host::makeSignal(old->s_n, old->s_sr, nchans);
}
#endif
