// The Pd and plug-in folder an integration test runs with, from the
// environment; a missing plug-in folder fails the test that asks.
#pragma once

#include <gtest/gtest.h>

#include "tests/integration/support/pd_runner.h"

namespace quill::pdtest {

inline PdSetup pdSetup()
{
    PdSetup s = PdSetup::fromEnvironment();
    EXPECT_FALSE(s.pluginDir.empty()) << "QUILL_PLUGIN_DIR is not set";
    return s;
}

}  // namespace quill::pdtest
