// The full control names that each kernel's description produces.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "adapter/pd_ui.h"
#include "kernels/klaxon/klaxon.h"
#include "kernels/mellow/mellow.h"
#include "kernels/zigzag/zigzag.h"

namespace {

std::vector<std::string> namesOf(dsp& kernel, const char* kernelName, const char* instance)
{
    kernel.init(44100);
    PdUI ui(kernelName, instance);
    kernel.buildUserInterface(&ui);
    EXPECT_EQ(ui.box_depth, 0);
    EXPECT_EQ(ui.group_path, instance);
    std::vector<std::string> names;
    for (int i = 0; i < ui.n_elems; ++i) names.push_back(ui.entries[i].full_name);
    return names;
}

}  // namespace

TEST(KernelNames, Klaxon)
{
    klaxon k;
    const std::vector<std::string> expected = {
        "/klaxon/Controls/decay",        "/klaxon/Controls/depth",         "/klaxon/Controls/speed",
        "/klaxon/Controls/sweep",        "/klaxon/Trigger/pitch",          "/klaxon/Trigger/triggerRandom",
        "/klaxon/Trigger/triggerRevSaw", "/klaxon/Trigger/triggerSaw",     "/klaxon/Trigger/triggerSquare",
        "/klaxon/Trigger/triggerTriangle"};
    EXPECT_EQ(namesOf(k, "klaxon", ""), expected);
    klaxon named;
    EXPECT_EQ(namesOf(named, "klaxon", "s1")[0], "/s1/klaxon/Controls/decay");
}

TEST(KernelNames, Mellow)
{
    mellow k;
    EXPECT_EQ(namesOf(k, "mellow", ""), (std::vector<std::string>{"/mellow/cutoff", "/mellow/resonanceQ"}));
    mellow named;
    EXPECT_EQ(namesOf(named, "mellow", "voice1")[1], "/voice1/mellow/resonanceQ");
}

TEST(KernelNames, ZigzagHasNoControlsAndLeavesThePathAsItFoundIt)
{
    zigzag k;
    EXPECT_TRUE(namesOf(k, "zigzag", "").empty());
    zigzag named;
    EXPECT_TRUE(namesOf(named, "zigzag", "z").empty());
}
