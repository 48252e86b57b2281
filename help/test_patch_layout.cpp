// The shipped patches as Pd 0.53 draws them (estimated from the files): no
// box on another, no wire through a box or across another wire, every
// window at most 800 x 700 px with everything inside it, no comment Pd
// would show otherwise. The planted cases show the check can fail.
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "help/patch_layout.h"

using namespace quill::layout;

namespace {

std::string readFile(const std::string& path)
{
    std::ifstream in(path);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

std::vector<std::string> problems(const std::string& patchText)
{
    std::vector<std::string> out;
    for (const Canvas& c : parsePatch(patchText)) {
        for (const auto& list :
             {overlaps(c), wiresThroughBoxes(c), crossingWires(c), outOfWindow(c, Limits{}), textsPdChanges(c)})
            out.insert(out.end(), list.begin(), list.end());
    }
    return out;
}

// The checkout whose patches are checked (QUILL_LAYOUT_ROOT measures another).
std::string root()
{
    const char* other = std::getenv("QUILL_LAYOUT_ROOT");
    return other ? other : QUILL_SOURCE_DIR;
}

// Wires that pass through at least one box.
size_t wiresThroughAnyBox(const Canvas& c)
{
    std::set<std::string> wires;
    for (const std::string& p : wiresThroughBoxes(c)) wires.insert(p.substr(0, p.find(" passes through")));
    return wires.size();
}

class ShippedPatch : public ::testing::TestWithParam<const char*> {};

TEST_P(ShippedPatch, ReadsCleanlyOnALaptopScreen)
{
    const std::string path = root() + "/" + GetParam();
    const std::string text = readFile(path);
    ASSERT_FALSE(text.empty()) << path;
    const std::vector<Canvas> canvases = parsePatch(text);
    ASSERT_FALSE(canvases.empty());
    for (const Canvas& c : canvases)
        std::cout << GetParam() << " " << c.name << ": " << c.width << " x " << c.height << ", "
                  << wiresThroughAnyBox(c) << " wires through " << wiresThroughBoxes(c).size() << " boxes, "
                  << crossingWires(c).size() << " wire crossings, " << overlaps(c).size() << " overlaps\n";
    std::string all;
    for (const std::string& p : problems(text)) all += p + "\n";
    EXPECT_EQ(all, "");
}

INSTANTIATE_TEST_SUITE_P(HelpAndDemo, ShippedPatch,
                         ::testing::Values("help/klaxon~-help.pd", "help/mellow~-help.pd", "help/zigzag~-help.pd",
                                           "help/leveler~-help.pd", "demo/quill-demo.pd"),
                         [](const ::testing::TestParamInfo<const char*>& param) {
                             std::string name = param.param;
                             name = name.substr(name.find('/') + 1);
                             return name.substr(0, name.find_first_of("~-."));
                         });

// [osc~] wired to [dac~] with a comment in between or beside.
std::string smallPatch(int commentX, int windowHeight = 300)
{
    return "#N canvas 0 0 400 " + std::to_string(windowHeight) +
           " 12;\n"
           "#X obj 20 20 osc~ 440;\n"
           "#X obj 20 100 dac~;\n"
           "#X text " +
           std::to_string(commentX) +
           " 60 a comment;\n"
           "#X connect 0 0 1 0;\n";
}

TEST(LayoutCheck, FindsACommentStruckThroughByAWireAndOnlyThen)
{
    const Canvas struck = parsePatch(smallPatch(10)).at(0);
    ASSERT_EQ(wiresThroughBoxes(struck).size(), 1u);
    EXPECT_NE(wiresThroughBoxes(struck)[0].find("[a comment]"), std::string::npos);
    EXPECT_EQ(problems(smallPatch(150)), std::vector<std::string>{});
}

TEST(LayoutCheck, FindsAWindowTooTallAndABoxBelowItsEdge)
{
    const std::vector<std::string> p = problems(smallPatch(150, 110));
    ASSERT_EQ(p.size(), 1u);  // the [dac~] at y 100 reaches below 110
    EXPECT_NE(p[0].find("[dac~]"), std::string::npos);
    // 668 px of canvas and Tk's 32 px menu bar make a 700 px window.
    EXPECT_EQ(outOfWindow(parsePatch(smallPatch(150, 668)).at(0), Limits{}).size(), 0u);
    EXPECT_EQ(outOfWindow(parsePatch(smallPatch(150, 669)).at(0), Limits{}).size(), 1u);
}

// The same faults planted into a copy of a shipped help patch: a box placed
// on its title and a comment placed on the middle of its first wire.
TEST(LayoutCheck, FailsOnPlantedFaultsInAHelpPatch)
{
    const std::string text = readFile(std::string(QUILL_SOURCE_DIR) + "/help/mellow~-help.pd");
    const Canvas main = parsePatch(text).at(0);
    ASSERT_FALSE(main.wires.empty());
    const Box& first = main.boxes.at(0);
    const Wire& w = main.wires.front();
    const Box& a = main.boxes.at(size_t(w.from));
    const Box& b = main.boxes.at(size_t(w.to));
    const int mx = (a.rect.x1 + b.rect.x1) / 2, my = (a.rect.y2 + b.rect.y1) / 2;
    // A record appended to the file belongs to the main canvas.
    const std::string overlap = text + "#X text " + std::to_string(first.rect.x1 + 3) + " " +
                                std::to_string(first.rect.y1 + 3) + " planted;\n";
    const std::string crossing =
        text + "#X text " + std::to_string(mx - 10) + " " + std::to_string(my - 8) + " planted;\n";
    const Canvas withOverlap = parsePatch(overlap).at(0);
    const Canvas withCrossing = parsePatch(crossing).at(0);
    EXPECT_EQ(overlaps(withOverlap).size(), overlaps(main).size() + 1);
    EXPECT_GT(wiresThroughBoxes(withCrossing).size(), wiresThroughBoxes(main).size());
    EXPECT_NE(problems(overlap), std::vector<std::string>{});
    EXPECT_NE(problems(crossing), std::vector<std::string>{});
}

TEST(LayoutCheck, FindsWiresCrossingEachOtherButNotAFan)
{
    // Two messages wired to the boxes below the other one make an X; both
    // wired to one inlet make a fan.
    const std::string top = "#N canvas 0 0 400 300 12;\n#X msg 20 20 1;\n#X msg 200 20 2;\n"
                            "#X obj 20 120 f;\n#X obj 200 120 f;\n";
    EXPECT_EQ(crossingWires(parsePatch(top + "#X connect 0 0 3 0;\n#X connect 1 0 2 0;\n").at(0)).size(), 1u);
    EXPECT_EQ(crossingWires(parsePatch(top + "#X connect 0 0 2 0;\n#X connect 1 0 2 0;\n").at(0)).size(), 0u);
}

TEST(LayoutCheck, FindsCommentsPdWouldShowOtherwise)
{
    const Canvas c = parsePatch("#N canvas 0 0 400 300 12;\n#X text 10 10 , f 20;\n"
                                "#X text 10 40 default 4. or 0.5.;\n#X text 10 70 default 4;\n")
                         .at(0);
    const std::vector<std::string> p = textsPdChanges(c);
    ASSERT_EQ(p.size(), 2u);
    EXPECT_NE(p[0].find("empty"), std::string::npos);
    EXPECT_NE(p[1].find("\"4.\""), std::string::npos);
}

TEST(LayoutCheck, EstimatesBoxesAsPdDrawsThem)
{
    // 12 pt: a 7 x 16 px cell, 2 px margins left and right, 3 above, 1 below.
    const Canvas c = parsePatch("#N canvas 0 0 400 300 12;\n"
                                "#X obj 10 10 osc~ 440;\n"
                                "#X msg 10 50 \\; pd dsp 1;\n"
                                "#X text 10 100 one two three, f 5;\n"
                                "#X msg 10 200 \\; a 1 \\; b 2 \\; c 3 \\; d 4 \\; e 5;\n")
                         .at(0);
    ASSERT_EQ(c.boxes.size(), 4u);
    EXPECT_EQ(c.boxes[0].rect.x2 - c.boxes[0].rect.x1, 8 * 7 + 4);
    EXPECT_EQ(c.boxes[0].rect.y2 - c.boxes[0].rect.y1, 16 + 4);
    EXPECT_EQ(c.boxes[1].rect.y2 - c.boxes[1].rect.y1, 2 * 16 + 4);  // ";" then a new line
    EXPECT_EQ(c.boxes[2].rect.y2 - c.boxes[2].rect.y1, 3 * 16 + 4);  // wrapped at 5 columns
    // A message box's flag: a quarter of its height, at most 10 px.
    EXPECT_EQ(c.boxes[1].rect.x2 - c.boxes[1].rect.x1, 8 * 7 + 4 + 9);
    EXPECT_EQ(c.boxes[3].rect.x2 - c.boxes[3].rect.x1, 4 * 7 + 4 + 10);
}

}  // namespace
