// Switches the processor to flush subnormal numbers to zero for the lifetime
// of the scope and restores the previous mode on every way out. Subnormals
// in decaying filter tails would otherwise cost many times a normal sample.
// The control register is written through volatile asm with a memory clobber
// so that the compiler cannot move arithmetic across the switch.
#pragma once

#include <cstdint>

namespace quill {

class FlushToZeroScope {
public:
    FlushToZeroScope()
    {
#if defined(__x86_64__) || defined(__i386__)
        asm volatile("stmxcsr %0" : "=m"(saved_) : : "memory");
        if ((saved_ & kBits) != kBits) {
            uint32_t on = saved_ | kBits;
            asm volatile("ldmxcsr %0" : : "m"(on) : "memory");
            changed_ = true;
        }
#elif defined(__aarch64__)
        asm volatile("mrs %0, fpcr" : "=r"(saved_) : : "memory");
        if ((saved_ & kBits) != kBits) {
            uint64_t on = saved_ | kBits;
            asm volatile("msr fpcr, %0" : : "r"(on) : "memory");
            changed_ = true;
        }
#endif
    }

    ~FlushToZeroScope()
    {
        if (!changed_) return;
#if defined(__x86_64__) || defined(__i386__)
        asm volatile("ldmxcsr %0" : : "m"(saved_) : "memory");
#elif defined(__aarch64__)
        asm volatile("msr fpcr, %0" : : "r"(saved_) : "memory");
#endif
    }

    FlushToZeroScope(const FlushToZeroScope&) = delete;
    FlushToZeroScope& operator=(const FlushToZeroScope&) = delete;

private:
    // Pd itself usually runs with the mode on already; then the control
    // register is only read, never written.
#if defined(__aarch64__)
    static constexpr uint64_t kBits = uint64_t{1} << 24;  // FZ
    uint64_t saved_ = 0;
#else
    static constexpr uint32_t kBits = 0x8040u;  // FTZ and DAZ
    uint32_t saved_ = 0;
#endif
    bool changed_ = false;
};

}  // namespace quill
