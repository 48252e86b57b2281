// Estimates where Pd 0.53 draws every box of a patch file, from the box
// text, its width setting and the patch font, and finds what a reader would
// stumble over: boxes on top of each other, wires through boxes, windows
// too large for a laptop screen.
#pragma once

#include <string>
#include <vector>

namespace quill::layout {

struct Rect {
    int x1 = 0, y1 = 0, x2 = 0, y2 = 0;
};

struct Box {
    Rect rect;
    std::string kind;     // obj, msg, text, floatatom, symbolatom, label
    std::string text;     // as Pd shows it (first line for a label)
    int inlets = 0;
    int outlets = 0;
    bool background = false;  // [cnv]: drawn under everything else
    int owner = -1;       // for a GUI label: index of its box
    bool empty = false;   // a comment with no text (Pd shows "comment")
};

struct Wire {
    int from = 0, outlet = 0, to = 0, inlet = 0;
};

struct Canvas {
    std::string name;     // "main", or the subpatch's name
    int width = 0, height = 0, font = 12;
    int gopWidth = 0, gopHeight = 0;  // shown on its parent at this size (graph on parent)
    std::vector<Box> boxes;   // the objects in Pd's numbering, then labels
    int objectCount = 0;      // boxes before the labels
    std::vector<Wire> wires;
};

struct Limits {
    int maxWidth = 800;
    int maxHeight = 700;
};

// Every canvas of a patch file, the main window first.
std::vector<Canvas> parsePatch(const std::string& fileText);

// One line per problem found on `canvas`, each naming the boxes involved.
std::vector<std::string> overlaps(const Canvas& canvas);
std::vector<std::string> wiresThroughBoxes(const Canvas& canvas);
// Pairs of wires that cross each other (wires that meet at an inlet or
// outlet do not count).
std::vector<std::string> crossingWires(const Canvas& canvas);
std::vector<std::string> outOfWindow(const Canvas& canvas, const Limits& limits);
// Comments Pd shows otherwise than written: empty ones, which read
// "comment", and numbers with a full stop ("default 4."), which lose it.
std::vector<std::string> textsPdChanges(const Canvas& canvas);

// Character cell of Pd's fixed font sizes (Pd's font table: width, height).
struct Cell {
    int width, height;
};
Cell fontCell(int fontSize);

}  // namespace quill::layout
