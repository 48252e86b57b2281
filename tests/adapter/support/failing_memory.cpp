// The adapter's memory functions for the tests: the real allocator, except
// that one chosen allocation fails. Kernel and registry creation go through
// nothrow new, which is replaced here as well.
#include "tests/adapter/support/failing_memory.h"

#include <cstdlib>
#include <cstring>
#include <new>
#include <set>

#include "adapter/memory.h"

namespace {
int g_countdown = 0;
int g_attempts = 0;
long g_live = 0;

bool shouldFail()
{
    ++g_attempts;
    if (g_countdown <= 0) return false;
    return --g_countdown == 0;
}
}  // namespace

namespace failing_memory {
void failAt(int k)
{
    g_countdown = k;
    g_attempts = 0;
}
int allocationsSinceArm() { return g_attempts; }
long liveBlocks() { return g_live; }
}  // namespace failing_memory

namespace quill {

void* memAlloc(std::size_t bytes)
{
    if (shouldFail()) return nullptr;
    void* p = std::malloc(bytes);
    if (p) ++g_live;
    return p;
}

void* memAllocZeroed(std::size_t count, std::size_t size)
{
    if (shouldFail()) return nullptr;
    void* p = std::calloc(count, size);
    if (p) ++g_live;
    return p;
}

void* memResize(void* block, std::size_t bytes)
{
    if (shouldFail()) return nullptr;
    void* p = std::realloc(block, bytes);
    if (p && !block) ++g_live;
    return p;
}

char* memDupString(const char* text)
{
    if (shouldFail()) return nullptr;
    char* p = strdup(text);
    if (p) ++g_live;
    return p;
}

void memRelease(void* block)
{
    if (block) --g_live;
    std::free(block);
}

}  // namespace quill

// Kernel, registry and label objects: the ordinary operator new underneath,
// so that delete matches it.
void* operator new(std::size_t bytes, const std::nothrow_t&) noexcept
{
    if (shouldFail()) return nullptr;
    try {
        return ::operator new(bytes);
    } catch (...) {
        return nullptr;
    }
}
