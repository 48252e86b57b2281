// What the call counter (call_counter.cpp, preloaded into the host) records
// on a thread that watches: each C library or C++ runtime call that
// allocates, locks or enters the kernel, keyed by the address it was called
// from. The host tells the modules apart afterwards with dladdr.
#pragma once

#include <cstdint>

namespace quill_libpd {

struct CallSite {
    const void* caller;    // return address of the call
    const char* function;  // "malloc", "pthread_mutex_lock", "write" ...
    const char* kind;      // "allocation", "lock" or "system call"
    std::uint64_t count;
};

struct CallLog {
    static constexpr int kCapacity = 256;
    CallSite sites[kCapacity];
    int used = 0;
    std::uint64_t dropped = 0;  // calls from sites beyond the capacity
};

// Found with dlsym when the counter is preloaded: watch(log) starts
// recording the calling thread's calls into log, watch(nullptr) stops.
using WatchCalls = void (*)(CallLog* log);
constexpr const char* kWatchCallsSymbol = "quill_libpd_watch_calls";

}  // namespace quill_libpd
