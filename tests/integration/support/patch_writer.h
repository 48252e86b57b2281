// Writes Pd patch files. Objects and message boxes are numbered in the
// order they are added, as Pd numbers them for "#X connect"; a subpatch is
// one object of its parent and numbers its own contents from 0.
#pragma once

#include <memory>
#include <string>
#include <vector>

namespace quill::pdtest {

class Canvas {
public:
    explicit Canvas(std::string name = "") : name_(std::move(name)) {}

    // [text] as an object box; returns its index.
    int obj(const std::string& text);
    // A message box. ';' and ',' in `text` are the message separators of a
    // message box and are escaped for the file.
    int msg(const std::string& text);
    // Outlet `outlet` of object `from` to inlet `inlet` of object `to`.
    void connect(int from, int outlet, int to, int inlet);
    // A subpatch [pd NAME] of this canvas; Pd names its receiver "pd-NAME".
    Canvas& subpatch(const std::string& name);
    // Index of a subpatch object added by subpatch().
    int indexOf(const Canvas& sub) const;

    int count() const { return count_; }
    // The canvas as patch-file text, a complete file for the top canvas.
    std::string text() const;
    void save(const std::string& path) const;

private:
    struct Record {
        std::string line;                 // a whole "#X ..." record, or empty
        std::unique_ptr<Canvas> child;    // a subpatch, when set
    };
    void write(std::string& out, bool top) const;
    int add(std::string line);

    std::string name_;
    std::vector<Record> records_;
    std::vector<std::string> connections_;
    int count_ = 0;
};

// Escapes ';', ',' and '$' as Pd writes them in a patch file.
std::string escapeForPatch(const std::string& text);

}  // namespace quill::pdtest
