#include "tests/integration/support/patch_writer.h"

#include <fstream>
#include <sstream>
#include <stdexcept>

namespace quill::pdtest {

std::string escapeForPatch(const std::string& text)
{
    // ';' and ',' are atoms of their own in the file; '$' is escaped in place.
    std::string spaced;
    for (char c : text) {
        if (c == ';' || c == ',')
            spaced += std::string(" \\") + c + " ";
        else if (c == '$')
            spaced += "\\$";
        else
            spaced += c;
    }
    std::string out;
    std::istringstream words(spaced);
    for (std::string w; words >> w;) out += (out.empty() ? "" : " ") + w;
    return out;
}

int Canvas::add(std::string line)
{
    records_.push_back(Record{std::move(line), nullptr});
    return count_++;
}

// Objects are laid out down a column; the positions only matter to the eye.
int Canvas::obj(const std::string& text)
{
    return add("#X obj 10 " + std::to_string(10 + 25 * count_) + " " + escapeForPatch(text) + ";");
}

int Canvas::msg(const std::string& text)
{
    return add("#X msg 10 " + std::to_string(10 + 25 * count_) + " " + escapeForPatch(text) + ";");
}

void Canvas::connect(int from, int outlet, int to, int inlet)
{
    if (from < 0 || from >= count_ || to < 0 || to >= count_)
        throw std::out_of_range("Canvas::connect: no such object");
    connections_.push_back("#X connect " + std::to_string(from) + " " + std::to_string(outlet) +
                           " " + std::to_string(to) + " " + std::to_string(inlet) + ";");
}

Canvas& Canvas::subpatch(const std::string& name)
{
    records_.push_back(Record{"", std::make_unique<Canvas>(name)});
    ++count_;
    return *records_.back().child;
}

int Canvas::indexOf(const Canvas& sub) const
{
    for (size_t i = 0; i < records_.size(); ++i)
        if (records_[i].child.get() == &sub) return int(i);
    throw std::invalid_argument("Canvas::indexOf: not a subpatch of this canvas");
}

void Canvas::write(std::string& out, bool top) const
{
    if (top)
        out += "#N canvas 0 50 450 300 12;\n";
    else
        out += "#N canvas 0 50 450 300 " + name_ + " 0;\n";
    for (size_t i = 0; i < records_.size(); ++i) {
        if (records_[i].child) {
            records_[i].child->write(out, false);
            out += "#X restore 200 " + std::to_string(10 + 25 * int(i)) + " pd " +
                   records_[i].child->name_ + ";\n";
        } else {
            out += records_[i].line + "\n";
        }
    }
    for (const std::string& c : connections_) out += c + "\n";
}

std::string Canvas::text() const
{
    std::string out;
    write(out, true);
    return out;
}

void Canvas::save(const std::string& path) const
{
    std::ofstream f(path, std::ios::binary);
    f << text();
    if (!f) throw std::runtime_error("cannot write patch " + path);
}

}  // namespace quill::pdtest
