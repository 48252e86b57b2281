// Pd 0.54's multichannel signals for a module built against any m_pd.h: the
// running Pd, not the header the module was built with, decides whether they
// exist. An older header lacks the few declarations mirrored here.
#pragma once

#include <cstddef>
#include <cstring>

#include "m_pd.h"

#include "adapter/host_lookup.h"

#ifdef CLASS_MULTICHANNEL
#define QUILL_HEADER_HAS_MULTICHANNEL 1
#else
#define QUILL_HEADER_HAS_MULTICHANNEL 0
#define CLASS_MULTICHANNEL 0x10  // Pd 0.53's class_new ignores the bit
#endif

namespace quill {

using SetMultiOut = void (*)(t_signal** sig, int nchans);

// The running Pd's signal_setmultiout (Pd 0.54 and later), else nullptr.
// Looked up at run time so that one module loads in older Pd too.
inline SetMultiOut findSetMultiOut()
{
    return reinterpret_cast<SetMultiOut>(hostFunction("signal_setmultiout"));
}

// The channel count of a signal. Only for a Pd that has signal_setmultiout:
// in an older t_signal another field sits in that place.
inline int signalChannels(const t_signal* s)
{
#if QUILL_HEADER_HAS_MULTICHANNEL
    return s->s_nchans;
#else
    // How Pd 0.54 and later begin their t_signal.
    struct SignalHead {
        int s_length;
        t_sample* s_vec;
        t_float s_sr;
        int s_nchans;
    };
    int channels;
    std::memcpy(&channels, reinterpret_cast<const char*>(s) + offsetof(SignalHead, s_nchans), sizeof channels);
    return channels;
#endif
}

}  // namespace quill
