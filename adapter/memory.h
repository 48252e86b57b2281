// The adapter's raw memory: pointer arrays, one-block buffers, registry
// tables and names. Kept behind these functions so that the tests can make
// any single allocation fail.
#pragma once

#include <cstddef>

namespace quill {

void* memAlloc(std::size_t bytes);                       // like malloc
void* memAllocZeroed(std::size_t count, std::size_t size);  // like calloc
void* memResize(void* block, std::size_t bytes);         // like realloc
char* memDupString(const char* text);                    // like strdup
void memRelease(void* block);                            // like free

}  // namespace quill
