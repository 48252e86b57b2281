// Test sinks that record every call a kernel makes while describing its
// controls or declaring its metadata, in order.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "interface/meta.h"
#include "interface/ui.h"

struct UiCall {
    std::string op;     // "openVerticalBox", "addHorizontalSlider", "declare", ...
    std::string label;  // label, or "key=value" for declare
    float* cell = nullptr;
    float init = 0, min = 0, max = 0, step = 0;
};

class RecordingUI : public UI {
public:
    std::vector<UiCall> calls;

    void openTabBox(const char* label) override;
    void openHorizontalBox(const char* label) override;
    void openVerticalBox(const char* label) override;
    void closeBox() override;
    void addButton(const char* label, float* cell) override;
    void addCheckButton(const char* label, float* cell) override;
    void addVerticalSlider(const char* label, float* cell, float init, float min, float max, float step) override;
    void addHorizontalSlider(const char* label, float* cell, float init, float min, float max, float step) override;
    void addNumEntry(const char* label, float* cell, float init, float min, float max, float step) override;
    void addHorizontalBargraph(const char* label, float* cell, float min, float max) override;
    void addVerticalBargraph(const char* label, float* cell, float min, float max) override;
    void addSoundfile(const char* label, const char* file, Soundfile** slot) override;
    void declare(float* cell, const char* key, const char* value) override;
};

class RecordingMeta : public Meta {
public:
    std::vector<std::pair<const char*, const char*>> pairs;
    void declare(const char* key, const char* value) override { pairs.emplace_back(key, value); }

    // The first key that is not strictly after the one before it (byte
    // order), or "" when every key is.
    std::string firstKeyOutOfOrder() const;
    // The value declared for `key`, or "<missing>".
    std::string value(const char* key) const;
};
