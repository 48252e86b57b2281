#include "adapter/memory.h"

#include <cstdlib>
#include <cstring>

namespace quill {

void* memAlloc(std::size_t bytes) { return std::malloc(bytes); }
void* memAllocZeroed(std::size_t count, std::size_t size) { return std::calloc(count, size); }
void* memResize(void* block, std::size_t bytes) { return std::realloc(block, bytes); }
char* memDupString(const char* text) { return strdup(text); }
void memRelease(void* block) { std::free(block); }

}  // namespace quill
