// The adapter's two revisions as types: everything in which they differ,
// chosen once at build time. zigzag~, mellow~ and klaxon~ use the earlier
// one; leveler~ the later one (flags, "-m", rate following).
#pragma once

#include <cstdint>
#include <type_traits>

#include "m_pd.h"

#include "adapter/plugin_config.h"
#include "kernels/common/float_to_int.h"

struct EarlierRevision {
    using Switch = int32_t;  // "active": nonzero means on
    // The leftmost inlet takes a signal connection too: sp[0] is its
    // signal, never read, and the kernel's signals follow it.
    static constexpr int kFirstSignal = 1;
    static constexpr bool kTakesFlags = false;
    // Pd's rate is adopted once, at the first DSP start, unless a positive
    // rate was given at creation; then it is kept for the object's life.
    static constexpr bool kFollowsRate = false;

    static bool isFloat(const t_atom& a) { return a.a_type == A_FLOAT || a.a_type == A_DEFFLOAT; }
    static bool isSymbol(const t_atom& a) { return a.a_type == A_SYMBOL || a.a_type == A_DEFSYM; }
    static Switch switchFrom(float v) { return quill::truncToInt(v); }
    // The rate x->rate starts with: not positive means "take Pd's".
    static int32_t rateFrom(int32_t parsed) { return parsed; }
};

struct LevelerRevision {
    using Switch = bool;
    static constexpr int kFirstSignal = 0;
    static constexpr bool kTakesFlags = true;  // leading "-m" and others
    static constexpr bool kFollowsRate = true;  // re-initialised at every change of Pd's rate

    static bool isFloat(const t_atom& a) { return a.a_type == A_FLOAT; }
    static bool isSymbol(const t_atom& a) { return a.a_type == A_SYMBOL; }
    static Switch switchFrom(float v) { return v != 0.0f && v == v; }  // NaN counts as off
    static int32_t rateFrom(int32_t parsed) { return parsed > 0 ? parsed : 44100; }
};

using Revision = std::conditional_t<QUILL_LEVELER_REVISION != 0, LevelerRevision, EarlierRevision>;
