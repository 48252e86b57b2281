#include "tests/integration/support/known_input.h"

#include <cstdio>

namespace quill::pdtest {

std::string exactText(float v)
{
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.12f", double(v));
    std::string s = buf;
    while (!s.empty() && s.back() == '0') s.pop_back();
    if (!s.empty() && s.back() == '.') s.pop_back();
    return s;
}

int addKnownInput(Canvas& patch, const std::string& table, const std::vector<float>& samples)
{
    patch.obj("table " + table + " " + std::to_string(samples.size()));
    const int load = patch.obj("loadbang");
    const size_t chunk = 1024;
    for (size_t start = 0; start < samples.size(); start += chunk) {
        std::string text = "; " + table + " " + std::to_string(start);
        for (size_t i = start; i < samples.size() && i < start + chunk; ++i) text += " " + exactText(samples[i]);
        const int box = patch.msg(text);
        patch.connect(load, 0, box, 0);
    }
    const int one = patch.obj("sig~ 1");
    const int count = patch.obj("rpole~ 1");  // 1, 2, 3, ...
    const int index = patch.obj("-~ 1");      // 0, 1, 2, ...
    const int read = patch.obj("tabread~ " + table);
    patch.connect(one, 0, count, 0);
    patch.connect(count, 0, index, 0);
    patch.connect(index, 0, read, 0);
    return read;
}

}  // namespace quill::pdtest
