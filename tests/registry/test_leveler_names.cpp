// The full control name that the leveler's description produces.
#include <gtest/gtest.h>

#include "adapter/pd_ui.h"
#include "kernels/leveler/leveler.h"

TEST(KernelNames, Leveler)
{
    for (const char* instance : {"", "bus/a"}) {
        leveler k;
        k.init(48000);
        PdUI ui("leveler", instance);
        k.buildUserInterface(&ui);
        ASSERT_EQ(ui.n_elems, 1);
        EXPECT_EQ(std::string(ui.entries[0].full_name), std::string(instance[0] ? "/bus/a" : "") + "/leveler/intensity");
        EXPECT_EQ(ui.entries[0].cell, &k.intensity);
        EXPECT_EQ(ui.entries[0].init_value, 0.3f);
        EXPECT_EQ(ui.group_path, instance);
    }
}
