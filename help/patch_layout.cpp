#include "help/patch_layout.h"

#include <algorithm>
#include <cstdlib>
#include <map>
#include <memory>
#include <sstream>

namespace quill::layout {

namespace {

// Pd's box geometry (g_rtext.c, g_text.c): text margins inside a box and
// the width of an inlet or outlet.
constexpr int kTextMarginX = 4;  // left 2 + right 2
constexpr int kTextMarginY = 4;  // top 3 + bottom 1
constexpr int kIoWidth = 7;
constexpr int kWrapColumns = 60;  // where Pd wraps a box without width setting
// The menu bar Tk puts inside every canvas window on Linux, above the
// canvas: the window is this much taller than the canvas size in the file.
constexpr int kMenuBarHeight = 32;

using Tokens = std::vector<std::string>;

std::vector<Tokens> records(const std::string& text)
{
    std::vector<Tokens> out;
    Tokens current;
    std::string token;
    auto endToken = [&] {
        if (!token.empty()) current.push_back(token);
        token.clear();
    };
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '\\' && i + 1 < text.size()) {
            token += c;
            token += text[++i];
        } else if (c == ';') {
            endToken();
            if (!current.empty()) out.push_back(current);
            current.clear();
        } else if (c == ' ' || c == '\n' || c == '\t' || c == '\r') {
            endToken();
        } else if (c == ',') {
            endToken();
            current.push_back(",");
        } else {
            token += c;
        }
    }
    return out;
}

int toInt(const std::string& s) { return int(std::strtol(s.c_str(), nullptr, 10)); }

// The box text as Pd shows it (binbuf_gettext): atoms joined by spaces,
// "," and ";" glued to the atom before, a line break after ";".
std::string displayText(const Tokens& atoms)
{
    std::string out;
    for (const std::string& raw : atoms) {
        std::string atom;
        for (size_t i = 0; i < raw.size(); ++i) {
            if (raw[i] == '\\' && i + 1 < raw.size()) continue;
            atom += raw[i];
        }
        const bool separator = (atom == ";" || atom == ",");
        if (separator && !out.empty() && out.back() == ' ') out.pop_back();
        out += atom;
        out += (atom == ";") ? '\n' : ' ';
    }
    while (!out.empty() && (out.back() == ' ' || out.back() == '\n')) out.pop_back();
    return out;
}

// Lines after Pd's word wrap at `columns` characters.
std::vector<std::string> wrap(const std::string& text, int columns)
{
    std::vector<std::string> lines;
    std::istringstream in(text);
    std::string paragraph;
    while (std::getline(in, paragraph)) {
        while (int(paragraph.size()) > columns) {
            size_t cut = paragraph.rfind(' ', size_t(columns));
            if (cut == std::string::npos || cut == 0) cut = size_t(columns);
            lines.push_back(paragraph.substr(0, cut));
            paragraph = paragraph.substr(cut);
            if (!paragraph.empty() && paragraph[0] == ' ') paragraph.erase(0, 1);
        }
        lines.push_back(paragraph);
    }
    if (lines.empty()) lines.push_back("");
    return lines;
}

struct Iolets {
    int in, out;
};

// Inlets and outlets of the classes these patches use; a wire to a higher
// number raises the count.
Iolets iolets(const Tokens& atoms)
{
    if (atoms.empty()) return {0, 0};
    const std::string& c = atoms[0];
    const int args = int(atoms.size()) - 1;
    static const std::map<std::string, Iolets> fixed = {
        {"*~", {2, 1}},      {"+~", {2, 1}},      {"-~", {2, 1}},      {"/~", {2, 1}},
        {"line~", {2, 1}},   {"phasor~", {2, 1}}, {"osc~", {2, 1}},    {"noise~", {1, 1}},
        {"abs~", {1, 1}},    {"sig~", {1, 1}},    {"lop~", {2, 1}},    {"hip~", {2, 1}},
        {"metro", {2, 1}},   {"f", {2, 1}},       {"float", {2, 1}},   {"+", {2, 1}},
        {"-", {2, 1}},       {"*", {2, 1}},       {"/", {2, 1}},       {"==", {2, 1}},
        {"mod", {2, 1}},     {"delay", {2, 1}},   {"del", {2, 1}},     {"line", {3, 1}},
        {"mtof", {1, 1}},    {"sin", {1, 1}},     {"print", {1, 0}},   {"loadbang", {1, 1}},
        {"s~", {1, 0}},      {"r~", {1, 1}},      {"throw~", {1, 0}},  {"catch~", {1, 1}},
        {"soundfiler", {1, 2}}, {"tabwrite~", {1, 0}}, {"table", {1, 0}}, {"symbol", {2, 1}},
        {"klaxon~", {1, 3}}, {"mellow~", {2, 3}}, {"zigzag~", {2, 3}}, {"leveler~", {2, 2}},
        {"bang", {1, 1}},    {"b", {1, 1}},       {"spigot", {2, 1}},  {"moses", {2, 2}},
        {"inlet", {0, 1}},   {"inlet~", {0, 1}},  {"outlet", {1, 0}},  {"outlet~", {1, 0}},
        {"snake~", {1, 1}},  {"clip~", {3, 1}},   {"vcf~", {3, 2}},    {"expr", {1, 1}},
    };
    if (c == "t" || c == "trigger") return {1, std::max(args, 1)};
    if (c == "sel" || c == "select" || c == "route")
        return {args > 1 ? 1 : 2, std::max(args, 1) + 1};
    if (c == "s" || c == "send") return {args > 0 ? 1 : 2, 0};
    if (c == "r" || c == "receive") return {args > 0 ? 0 : 1, 1};
    if (c == "dac~") return {std::max(args, 2), 0};
    if (c == "pack" || c == "unpack") return c == "pack" ? Iolets{std::max(args, 2), 1} : Iolets{1, std::max(args, 2)};
    const auto it = fixed.find(c);
    return it == fixed.end() ? Iolets{1, 1} : it->second;
}

bool isIemGui(const std::string& c)
{
    return c == "tgl" || c == "toggle" || c == "bng" || c == "hsl" || c == "hslider" || c == "vsl" ||
           c == "vslider" || c == "hradio" || c == "hdl" || c == "vradio" || c == "vdl" || c == "cnv" ||
           c == "my_canvas" || c == "nbx";
}

bool named(const std::string& s) { return !s.empty() && s != "empty" && s != "-"; }

// An IEM GUI: its rectangle, iolets and label (args: the atoms after the
// class name, as in the file).
void iemGui(Canvas& canvas, Box& box, int x, int y, const Tokens& atoms)
{
    const std::string& c = atoms[0];
    auto arg = [&](size_t i) { return i + 1 < atoms.size() ? atoms[i + 1] : std::string(); };
    auto num = [&](size_t i) { return toInt(arg(i)); };
    // Index of the send name among the arguments; label and its place follow.
    size_t send = 0;
    int w = 15, h = 15;
    if (c == "tgl" || c == "toggle") {
        w = h = num(0);
        send = 2;
    } else if (c == "bng") {
        w = h = num(0);
        send = 4;
    } else if (c == "hsl" || c == "hslider") {
        // The slider's box reaches 2 px left and 3 px right of its width.
        w = num(0) + 5;
        h = num(1);
        x -= 2;
        send = 6;
    } else if (c == "vsl" || c == "vslider") {
        w = num(0);
        h = num(1) + 5;
        y -= 2;
        send = 6;
    } else if (c == "hradio" || c == "hdl") {
        w = num(0) * num(3);
        h = num(0);
        send = 4;
    } else if (c == "vradio" || c == "vdl") {
        w = num(0);
        h = num(0) * num(3);
        send = 4;
    } else if (c == "nbx") {
        w = num(0) * fontCell(canvas.font).width + 10;
        h = num(1);
        send = 7;
    } else {  // cnv: a background, drawn at its visible size
        w = num(1);
        h = num(2);
        send = 3;
        box.background = true;
    }
    box.rect = {x, y, x + w, y + h};
    box.inlets = named(arg(send + 1)) || box.background ? 0 : 1;
    box.outlets = named(arg(send)) || box.background ? 0 : 1;
    const std::string label = arg(send + 2);
    if (box.background || !named(label)) return;
    // IEM labels: DejaVu Sans Mono at the label's size in pixels, placed
    // with its left edge and vertical middle at the offset.
    const int size = std::max(num(send + 6), 4);
    const int charWidth = (size * 6 + 9) / 10;
    const int labelX = box.rect.x1 + num(send + 3) + (c == "hsl" || c == "hslider" ? 2 : 0);
    const int labelY = y + num(send + 4);
    Box text;
    text.kind = "label";
    text.text = label;
    text.rect = {labelX, labelY - size / 2 - 1, labelX + charWidth * int(label.size()), labelY + size / 2 + 2};
    text.owner = int(canvas.boxes.size());  // the GUI box, pushed next
    canvas.boxes.push_back(box);
    canvas.boxes.push_back(text);
    box.kind.clear();  // marks the GUI box as already stored
}

// A message box's flag reaches a quarter of its height to the right, at
// most 10 px (g_text.c).
int messageFlag(int height) { return std::min(height / 4, 10); }

Box textBox(const Canvas& canvas, const std::string& kind, int x, int y, Tokens atoms, int atomWidth)
{
    Box box;
    box.kind = kind;
    int widthSetting = 0;
    if (atoms.size() >= 3 && atoms[atoms.size() - 3] == "," && atoms[atoms.size() - 2] == "f") {
        widthSetting = toInt(atoms.back());
        atoms.resize(atoms.size() - 3);
    }
    const Cell cell = fontCell(canvas.font);
    if (kind == "floatatom" || kind == "symbolatom") {
        const int columns = atomWidth > 0 ? atomWidth : (kind == "floatatom" ? 5 : 10);
        box.rect = {x, y, x + columns * cell.width + kTextMarginX, y + cell.height + kTextMarginY};
        box.inlets = box.outlets = 1;
        return box;
    }
    box.text = displayText(atoms);
    if (kind == "text" && box.text.empty()) {
        box.text = "comment";  // what Pd shows
        box.empty = true;
    }
    const std::vector<std::string> lines = wrap(box.text, widthSetting > 0 ? widthSetting : kWrapColumns);
    // A comment has no border: only its text shows, however wide its box.
    int columns = 0;
    for (const std::string& line : lines) columns = std::max(columns, int(line.size()));
    if (widthSetting > 0 && kind != "text") columns = widthSetting;
    if (kind == "obj") columns = std::max(columns, 3);
    const int w = columns * cell.width + kTextMarginX;
    const int h = int(lines.size()) * cell.height + kTextMarginY;
    const int flag = kind == "msg" ? messageFlag(h) : 0;
    box.rect = {x, y, x + w + flag, y + h};
    if (kind == "obj") {
        const Iolets io = iolets(atoms);
        box.inlets = io.in;
        box.outlets = io.out;
    } else if (kind == "msg") {
        box.inlets = box.outlets = 1;
    }
    return box;
}

// Where a wire leaves outlet `n` of `box` or enters its inlet `n`.
int ioletX(const Box& box, int n, int count)
{
    int width = box.rect.x2 - box.rect.x1;
    if (box.kind == "msg") width -= messageFlag(box.rect.y2 - box.rect.y1);
    const int x = count > 1 ? box.rect.x1 + (width - kIoWidth) * n / (count - 1) : box.rect.x1;
    return x + (kIoWidth - 1) / 2;
}

std::string describe(const Box& box, int index)
{
    std::string text = box.text;
    const size_t nl = text.find('\n');
    if (nl != std::string::npos) text = text.substr(0, nl) + " ...";
    if (text.size() > 40) text = text.substr(0, 37) + "...";
    std::ostringstream out;
    if (box.kind == "label")
        out << "label '" << text << "' of box " << box.owner;
    else
        out << box.kind << " " << index << " [" << text << "]";
    out << " at " << box.rect.x1 << " " << box.rect.y1;
    return out.str();
}

// Whether the segment from (x1, y1) to (x2, y2) enters `r` (Liang-Barsky).
bool segmentEnters(double x1, double y1, double x2, double y2, const Rect& r)
{
    double t0 = 0.0, t1 = 1.0;
    const double dx = x2 - x1, dy = y2 - y1;
    const double p[4] = {-dx, dx, -dy, dy};
    const double q[4] = {x1 - r.x1, r.x2 - x1, y1 - r.y1, r.y2 - y1};
    for (int i = 0; i < 4; ++i) {
        if (p[i] == 0.0) {
            if (q[i] <= 0.0) return false;
        } else {
            const double t = q[i] / p[i];
            if (p[i] < 0.0)
                t0 = std::max(t0, t);
            else
                t1 = std::min(t1, t);
        }
    }
    return t0 < t1;
}

Rect shrunk(const Rect& r, int by) { return {r.x1 + by, r.y1 + by, r.x2 - by, r.y2 - by}; }

}  // namespace

Cell fontCell(int fontSize)
{
    // pd-gui.tcl's font_metrics: the cell each of Pd's font sizes is fitted
    // into. Checked on Pd 0.53.1's GUI: [mellow~] in a 12-point patch is drawn
    // 7 * 7 + 4 px wide and 16 + 4 px tall, as estimated here.
    static const int table[][3] = {{8, 5, 11}, {10, 6, 13}, {12, 7, 16}, {16, 10, 19}, {24, 14, 29}, {36, 22, 44}};
    Cell cell = {table[0][1], table[0][2]};
    for (const auto& row : table)
        if (fontSize >= row[0]) cell = {row[1], row[2]};
    return cell;
}

std::vector<Canvas> parsePatch(const std::string& fileText)
{
    std::vector<Canvas> done;
    std::vector<Canvas> open;
    for (const Tokens& r : records(fileText)) {
        if (r.size() < 2) continue;
        if (r[0] == "#N" && r[1] == "canvas" && r.size() >= 7) {
            Canvas c;
            c.width = toInt(r[4]);
            c.height = toInt(r[5]);
            if (open.empty()) {
                c.name = "main";
                c.font = toInt(r[6]);
            } else {
                c.name = r[6];
                c.font = open.front().font;
            }
            open.push_back(c);
            continue;
        }
        if (r[0] != "#X" || open.empty()) continue;
        Canvas& canvas = open.back();
        const std::string& what = r[1];
        if (what == "connect" && r.size() >= 6) {
            canvas.wires.push_back({toInt(r[2]), toInt(r[3]), toInt(r[4]), toInt(r[5])});
            continue;
        }
        if (what == "coords" && r.size() >= 9 && toInt(r[8]) != 0) {
            // Graph on parent: the subpatch shows as a box of this size.
            canvas.gopWidth = toInt(r[6]);
            canvas.gopHeight = toInt(r[7]);
            continue;
        }
        if (what == "f" && r.size() >= 3 && canvas.objectCount > 0) continue;  // old-style width record
        if (r.size() < 4) continue;
        const int x = toInt(r[2]), y = toInt(r[3]);
        if (what == "restore") {
            Canvas child = open.back();
            open.pop_back();
            int ins = 0, outs = 0;
            for (const Box& b : child.boxes) {
                if (b.kind != "obj") continue;
                if (b.text == "inlet" || b.text == "inlet~") ++ins;
                if (b.text == "outlet" || b.text == "outlet~") ++outs;
            }
            done.push_back(std::move(child));
            Canvas& parent = open.back();
            Box box = textBox(parent, "obj", x, y, Tokens(r.begin() + 4, r.end()), 0);
            if (done.back().gopWidth > 0) box.rect = {x, y, x + done.back().gopWidth, y + done.back().gopHeight};
            box.inlets = ins;
            box.outlets = outs;
            parent.boxes.push_back(box);
            ++parent.objectCount;
            continue;
        }
        Tokens atoms(r.begin() + 4, r.end());
        if (what == "obj" && !atoms.empty() && isIemGui(atoms[0])) {
            Box box;
            box.kind = "obj";
            box.text = atoms[0];
            iemGui(canvas, box, x, y, atoms);
            if (!box.kind.empty()) canvas.boxes.push_back(box);
            ++canvas.objectCount;
            continue;
        }
        if (what == "obj" || what == "msg" || what == "text" || what == "floatatom" || what == "symbolatom") {
            const int atomWidth = (what == "floatatom" || what == "symbolatom") ? toInt(r[4]) : 0;
            canvas.boxes.push_back(textBox(canvas, what, x, y, atoms, atomWidth));
            ++canvas.objectCount;
        }
    }
    // The main window first, then the subpatches in the order they close.
    while (!open.empty()) {
        done.insert(done.begin(), open.back());
        open.pop_back();
    }
    // Object numbers: labels were pushed among the objects; move them behind.
    for (Canvas& c : done) {
        std::vector<Box> objects, labels;
        std::vector<int> newIndex(c.boxes.size(), -1);
        for (size_t i = 0; i < c.boxes.size(); ++i)
            if (c.boxes[i].kind != "label") {
                newIndex[i] = int(objects.size());
                objects.push_back(c.boxes[i]);
            }
        for (Box& b : c.boxes)
            if (b.kind == "label") {
                b.owner = newIndex[size_t(b.owner)];
                labels.push_back(b);
            }
        c.objectCount = int(objects.size());
        objects.insert(objects.end(), labels.begin(), labels.end());
        c.boxes = objects;
        // A wire to a higher inlet or outlet than the table knows widens the box's count.
        for (const Wire& w : c.wires) {
            if (w.from < c.objectCount) c.boxes[size_t(w.from)].outlets = std::max(c.boxes[size_t(w.from)].outlets, w.outlet + 1);
            if (w.to < c.objectCount) c.boxes[size_t(w.to)].inlets = std::max(c.boxes[size_t(w.to)].inlets, w.inlet + 1);
        }
    }
    return done;
}

std::vector<std::string> overlaps(const Canvas& canvas)
{
    std::vector<std::string> out;
    for (size_t i = 0; i < canvas.boxes.size(); ++i) {
        const Box& a = canvas.boxes[i];
        if (a.background) continue;
        for (size_t j = i + 1; j < canvas.boxes.size(); ++j) {
            const Box& b = canvas.boxes[j];
            if (b.background || b.owner == int(i) || (a.owner >= 0 && a.owner == b.owner)) continue;
            const int w = std::min(a.rect.x2, b.rect.x2) - std::max(a.rect.x1, b.rect.x1);
            const int h = std::min(a.rect.y2, b.rect.y2) - std::max(a.rect.y1, b.rect.y1);
            if (w > 0 && h > 0)
                out.push_back(canvas.name + ": " + describe(a, int(i)) + " overlaps " + describe(b, int(j)));
        }
    }
    return out;
}

std::vector<std::string> wiresThroughBoxes(const Canvas& canvas)
{
    std::vector<std::string> out;
    const int n = canvas.objectCount;
    for (const Wire& w : canvas.wires) {
        if (w.from >= n || w.to >= n || w.from < 0 || w.to < 0) {
            out.push_back(canvas.name + ": a wire names a box that does not exist");
            continue;
        }
        const Box& from = canvas.boxes[size_t(w.from)];
        const Box& to = canvas.boxes[size_t(w.to)];
        const double x1 = ioletX(from, w.outlet, from.outlets), y1 = from.rect.y2;
        const double x2 = ioletX(to, w.inlet, to.inlets), y2 = to.rect.y1;
        for (size_t k = 0; k < canvas.boxes.size(); ++k) {
            const Box& b = canvas.boxes[k];
            if (b.background) continue;
            // The wire's own ends sit on the edges of its boxes.
            const bool end = int(k) == w.from || int(k) == w.to;
            if (segmentEnters(x1, y1, x2, y2, shrunk(b.rect, end ? 2 : 1))) {
                std::ostringstream s;
                s << canvas.name << ": wire " << w.from << ":" << w.outlet << " -> " << w.to << ":" << w.inlet
                  << " passes through " << describe(b, int(k));
                out.push_back(s.str());
            }
        }
    }
    return out;
}

namespace {

struct Segment {
    double x1, y1, x2, y2;
};

Segment wireSegment(const Canvas& canvas, const Wire& w)
{
    const Box& from = canvas.boxes[size_t(w.from)];
    const Box& to = canvas.boxes[size_t(w.to)];
    return {double(ioletX(from, w.outlet, from.outlets)), double(from.rect.y2), double(ioletX(to, w.inlet, to.inlets)),
            double(to.rect.y1)};
}

double cross(double ax, double ay, double bx, double by) { return ax * by - ay * bx; }

// Whether two segments cross at a point inside both.
bool segmentsCross(const Segment& a, const Segment& b)
{
    const double d1 = cross(a.x2 - a.x1, a.y2 - a.y1, b.x1 - a.x1, b.y1 - a.y1);
    const double d2 = cross(a.x2 - a.x1, a.y2 - a.y1, b.x2 - a.x1, b.y2 - a.y1);
    const double d3 = cross(b.x2 - b.x1, b.y2 - b.y1, a.x1 - b.x1, a.y1 - b.y1);
    const double d4 = cross(b.x2 - b.x1, b.y2 - b.y1, a.x2 - b.x1, a.y2 - b.y1);
    return ((d1 > 0 && d2 < 0) || (d1 < 0 && d2 > 0)) && ((d3 > 0 && d4 < 0) || (d3 < 0 && d4 > 0));
}

}  // namespace

std::vector<std::string> crossingWires(const Canvas& canvas)
{
    std::vector<std::string> out;
    const int n = canvas.objectCount;
    auto valid = [n](const Wire& w) { return w.from >= 0 && w.to >= 0 && w.from < n && w.to < n; };
    for (size_t i = 0; i < canvas.wires.size(); ++i) {
        const Wire& a = canvas.wires[i];
        if (!valid(a)) continue;
        for (size_t j = i + 1; j < canvas.wires.size(); ++j) {
            const Wire& b = canvas.wires[j];
            if (!valid(b)) continue;
            const bool sameOutlet = a.from == b.from && a.outlet == b.outlet;
            const bool sameInlet = a.to == b.to && a.inlet == b.inlet;
            if (sameOutlet || sameInlet || !segmentsCross(wireSegment(canvas, a), wireSegment(canvas, b))) continue;
            std::ostringstream s;
            s << canvas.name << ": wire " << a.from << ":" << a.outlet << " -> " << a.to << ":" << a.inlet
              << " crosses wire " << b.from << ":" << b.outlet << " -> " << b.to << ":" << b.inlet;
            out.push_back(s.str());
        }
    }
    return out;
}

std::vector<std::string> outOfWindow(const Canvas& canvas, const Limits& limits)
{
    std::vector<std::string> out;
    std::ostringstream size;
    size << canvas.width << " x " << canvas.height;
    const int windowHeight = canvas.height + kMenuBarHeight;
    if (canvas.width > limits.maxWidth || windowHeight > limits.maxHeight)
        out.push_back(canvas.name + ": window " + std::to_string(canvas.width) + " x " +
                      std::to_string(windowHeight) + " (with its menu bar) is larger than " +
                      std::to_string(limits.maxWidth) + " x " + std::to_string(limits.maxHeight));
    for (size_t k = 0; k < canvas.boxes.size(); ++k) {
        const Box& b = canvas.boxes[k];
        if (b.rect.x1 < 0 || b.rect.y1 < 0 || b.rect.x2 > canvas.width || b.rect.y2 > canvas.height)
            out.push_back(canvas.name + ": " + describe(b, int(k)) + " reaches outside the window " + size.str());
    }
    return out;
}

std::vector<std::string> textsPdChanges(const Canvas& canvas)
{
    std::vector<std::string> out;
    for (size_t k = 0; k < size_t(canvas.objectCount); ++k) {
        const Box& b = canvas.boxes[k];
        if (b.kind != "text") continue;
        if (b.empty) out.push_back(canvas.name + ": " + describe(b, int(k)) + " is empty: Pd shows \"comment\"");
        std::istringstream words(b.text);
        std::string w;
        while (words >> w) {
            const bool digits = w.size() > 1 && w.find_first_not_of("0123456789", w[0] == '-' ? 1 : 0) == w.size() - 1;
            if (digits && w.back() == '.')
                out.push_back(canvas.name + ": " + describe(b, int(k)) + ": Pd reads \"" + w + "\" as a number and drops its full stop");
        }
    }
    return out;
}

}  // namespace quill::layout
