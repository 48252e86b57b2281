// How labels become path components and paths become full control names.
#include <gtest/gtest.h>

#include "adapter/pd_ui.h"
#include "adapter/pd_ui_names.h"

using quill::mangle;
using quill::normpath;
using quill::pathcat;

TEST(Mangle, KeepsLettersAndDigitsAndJoinsInnerRunsWithOneDash)
{
    EXPECT_EQ(mangle("k", 1, "decay"), "decay");
    EXPECT_EQ(mangle("k", 1, "resonanceQ"), "resonanceQ");
    EXPECT_EQ(mangle("k", 0, "RUD Aziziver"), "RUD-Aziziver");
    EXPECT_EQ(mangle("k", 1, " 1.5 kHz! "), "1-5-kHz");
    EXPECT_EQ(mangle("k", 1, "x/y"), "x-y");  // a label never adds a level
    EXPECT_EQ(mangle("k", 1, "(...)"), "");
    EXPECT_EQ(mangle("k", 1, "a -- b"), "a-b");
    EXPECT_EQ(mangle("k", 1, "\xc3\xa9t\xc3\xa9"), "t");  // bytes beyond ASCII are not letters
}

TEST(Mangle, EmptyOrZeroLabelStandsForTheKernelAtTopLevelOnly)
{
    EXPECT_EQ(mangle("klaxon", 0, ""), "klaxon");
    EXPECT_EQ(mangle("klaxon", 0, "0x00"), "klaxon");
    EXPECT_EQ(mangle("klaxon", 1, ""), "");
    EXPECT_EQ(mangle("klaxon", 2, "0x00"), "");
    EXPECT_EQ(mangle("", 0, ""), "");
    EXPECT_EQ(mangle(nullptr, 0, "0x00"), "");
    EXPECT_EQ(mangle("klaxon", 0, nullptr), "");
    EXPECT_EQ(mangle("-my kernel", 0, ""), "my-kernel");  // a leading run is dropped here too
}

TEST(Paths, NormaliseAndJoin)
{
    EXPECT_EQ(normpath(""), "/");
    EXPECT_EQ(normpath("/"), "/");
    EXPECT_EQ(normpath("klaxon//Controls/"), "/klaxon/Controls");
    EXPECT_EQ(normpath("/x"), "/x");
    EXPECT_EQ(normpath("a///b////"), "/a/b");
    EXPECT_EQ(pathcat("", ""), "/");
    EXPECT_EQ(pathcat("", "x"), "/x");
    EXPECT_EQ(pathcat("a/", ""), "/a");
    EXPECT_EQ(pathcat("a/b/", "c"), "/a/b/c");
}

namespace {
float cells[8];
}

TEST(Registry, GroupsBecomeNamesAndTheTableKeepsKernelOrder)
{
    PdUI ui("klaxon", "");
    ui.openVerticalBox("klaxon");
    ui.openHorizontalBox("Controls");
    ui.addHorizontalSlider("decay", &cells[0], 0.4f, 0.05f, 3.0f, 0.01f);
    ui.closeBox();
    EXPECT_EQ(ui.group_path, "klaxon");
    ui.openHorizontalBox("Trigger");
    ui.addButton("triggerSaw", &cells[1]);
    ui.addVerticalBargraph("level", &cells[2], -60.0f, 6.0f);
    ui.addSoundfile("sample", "x.wav", nullptr);
    ui.closeBox();
    ui.closeBox();
    EXPECT_EQ(ui.box_depth, 0);
    EXPECT_EQ(ui.group_path, "");
    ASSERT_EQ(ui.n_elems, 3);
    EXPECT_STREQ(ui.entries[0].full_name, "/klaxon/Controls/decay");
    EXPECT_EQ(ui.entries[0].type, ELEM_HSLIDER);
    EXPECT_EQ(ui.entries[0].init_value, 0.4f);
    EXPECT_EQ(ui.entries[0].step, 0.01f);
    EXPECT_STREQ(ui.entries[1].full_name, "/klaxon/Trigger/triggerSaw");
    EXPECT_EQ(ui.entries[1].type, ELEM_BUTTON);
    EXPECT_EQ(ui.entries[1].max, 1.0f);
    EXPECT_EQ(ui.entries[1].step, 1.0f);
    EXPECT_EQ(ui.entries[2].type, ELEM_VBARGRAPH);  // vertical is 5
    EXPECT_EQ(static_cast<int>(ELEM_HBARGRAPH), 6);
    EXPECT_EQ(ui.entries[2].min, -60.0f);
    EXPECT_EQ(ui.entries[2].step, 0.0f);
    EXPECT_EQ(ui.entries[2].cell, &cells[2]);
}

TEST(Registry, InstanceNameLeadsEveryPathUnmangled)
{
    PdUI ui("mellow", "a/b c");
    ui.openVerticalBox("mellow");
    ui.addHorizontalSlider("cutoff", &cells[0], 2000.0f, 20.0f, 20000.0f, 0.1f);
    ui.closeBox();
    EXPECT_STREQ(ui.entries[0].full_name, "/a/b c/mellow/cutoff");
    EXPECT_EQ(ui.group_path, "a/b c");
}

TEST(Registry, EmptyAndPunctuationLabelsTakeTheGroupsName)
{
    PdUI ui("klaxon", nullptr);
    ui.addHorizontalSlider("", &cells[0], 0, 0, 1, 0);  // no group open: the kernel's name
    ui.openVerticalBox("klaxon");
    ui.addButton("?", &cells[1]);
    ui.addButton("?", &cells[2]);  // two entries may share one name
    ui.openHorizontalBox("");    // a nested unnamed group leaves a trailing "/"
    ui.addButton("b", &cells[3]);
    ui.closeBox();
    EXPECT_EQ(ui.group_path, "klaxon");
    ui.closeBox();
    ASSERT_EQ(ui.n_elems, 4);
    EXPECT_STREQ(ui.entries[0].full_name, "/klaxon");
    EXPECT_STREQ(ui.entries[1].full_name, "/klaxon");
    EXPECT_STREQ(ui.entries[2].full_name, "/klaxon");
    EXPECT_STREQ(ui.entries[3].full_name, "/klaxon/b");
}

TEST(Registry, UnbalancedCloseMakesTheNextTopGroupCountAsNested)
{
    PdUI ui("klaxon", "");
    ui.closeBox();
    EXPECT_EQ(ui.box_depth, -1);
    EXPECT_EQ(ui.group_path, "");
    ui.openVerticalBox("");  // nested now: an empty component, not the kernel's name
    ui.addButton("x", &cells[0]);
    EXPECT_STREQ(ui.entries[0].full_name, "/x");

    PdUI named("k", "inst");
    named.closeBox();
    EXPECT_EQ(named.group_path, "");  // cut at its last "/", or emptied
}

TEST(Registry, DefaultConstructedAndEmptyRegistriesHoldNothing)
{
    PdUI ui;
    EXPECT_STREQ(ui.kernel_name, "");
    EXPECT_EQ(ui.n_elems, 0);
    EXPECT_EQ(ui.entries, nullptr);
    ui.openVerticalBox("RUD Aziziver");
    EXPECT_EQ(ui.group_path, "RUD-Aziziver");
    ui.closeBox();
    EXPECT_EQ(ui.group_path, "");
    EXPECT_EQ(ui.entries, nullptr);
    EXPECT_EQ(ui.sizeOfQUILLFLOAT(), 4);
}
