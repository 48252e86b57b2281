#include "tests/kernels/support/recording_sinks.h"

#include <cstring>

namespace {
UiCall call(const char* op, const char* label, float* cell = nullptr, float init = 0, float min = 0,
            float max = 0, float step = 0)
{
    return UiCall{op, label ? label : "", cell, init, min, max, step};
}
}  // namespace

void RecordingUI::openTabBox(const char* label) { calls.push_back(call("openTabBox", label)); }
void RecordingUI::openHorizontalBox(const char* label) { calls.push_back(call("openHorizontalBox", label)); }
void RecordingUI::openVerticalBox(const char* label) { calls.push_back(call("openVerticalBox", label)); }
void RecordingUI::closeBox() { calls.push_back(call("closeBox", "")); }
void RecordingUI::addButton(const char* label, float* cell) { calls.push_back(call("addButton", label, cell)); }
void RecordingUI::addCheckButton(const char* label, float* cell)
{
    calls.push_back(call("addCheckButton", label, cell));
}
void RecordingUI::addVerticalSlider(const char* label, float* cell, float init, float min, float max, float step)
{
    calls.push_back(call("addVerticalSlider", label, cell, init, min, max, step));
}
void RecordingUI::addHorizontalSlider(const char* label, float* cell, float init, float min, float max, float step)
{
    calls.push_back(call("addHorizontalSlider", label, cell, init, min, max, step));
}
void RecordingUI::addNumEntry(const char* label, float* cell, float init, float min, float max, float step)
{
    calls.push_back(call("addNumEntry", label, cell, init, min, max, step));
}
void RecordingUI::addHorizontalBargraph(const char* label, float* cell, float min, float max)
{
    calls.push_back(call("addHorizontalBargraph", label, cell, 0, min, max));
}
void RecordingUI::addVerticalBargraph(const char* label, float* cell, float min, float max)
{
    calls.push_back(call("addVerticalBargraph", label, cell, 0, min, max));
}
void RecordingUI::addSoundfile(const char* label, const char*, Soundfile**) { calls.push_back(call("addSoundfile", label)); }
void RecordingUI::declare(float* cell, const char* key, const char* value)
{
    calls.push_back(call("declare", (std::string(key) + "=" + value).c_str(), cell));
}

std::string RecordingMeta::firstKeyOutOfOrder() const
{
    for (size_t n = 1; n < pairs.size(); ++n)
        if (std::strcmp(pairs[n - 1].first, pairs[n].first) >= 0) return pairs[n].first;
    return "";
}

std::string RecordingMeta::value(const char* key) const
{
    for (const auto& p : pairs)
        if (std::strcmp(p.first, key) == 0) return p.second;
    return "<missing>";
}
