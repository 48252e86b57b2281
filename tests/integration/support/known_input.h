// An input signal that a patch plays sample for sample as the test wrote it:
// a table filled at load from exact decimal text, read at the sample index.
#pragma once

#include <string>
#include <vector>

#include "tests/integration/support/patch_writer.h"

namespace quill::pdtest {

// Exact decimal text of a multiple of 1/4096 (at most twelve decimals), so
// that Pd parses back the very same float.
std::string exactText(float v);

// Adds a source playing `samples` from the first block on: the patch fills
// table `table` at load, and [tabread~] reads it at the sample index that
// [rpole~ 1] counts. Returns the index of the [tabread~] object.
int addKnownInput(Canvas& patch, const std::string& table, const std::vector<float>& samples);

}  // namespace quill::pdtest
