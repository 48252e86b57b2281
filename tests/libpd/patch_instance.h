// One Pd instance of the libpd host with a patch open and DSP on. It keeps
// what the instance's hooks receive: the lists sent to [s replies], and the
// console.
#pragma once

#include <string>

#include "z_libpd.h"

namespace quill_libpd {

// Once per process, before any instance.
void startLibpd();

class PatchInstance {
public:
    // Created on the calling thread, which it is then current on: the plug-in
    // folder searched, audio and DSP on, the patch opened.
    PatchInstance(const std::string& pluginDir, const std::string& patchDir, const std::string& patchName);
    ~PatchInstance();
    PatchInstance(const PatchInstance&) = delete;
    PatchInstance& operator=(const PatchInstance&) = delete;

    // Makes the instance the calling thread's, for the calls that follow.
    void makeCurrent() const;
    // One block: interleaved input frames in, interleaved output frames out.
    void process(const t_sample* in, t_sample* out) const;

    // One line per list received: the [list prepend] tag that tells the
    // [route] outlet, then the reply.
    const std::string& replies() const { return replies_; }
    const std::string& console() const { return console_; }

private:
    static PatchInstance* current();
    static void onList(const char* receiver, int argc, t_atom* argv);
    static void onMessage(const char* receiver, const char* selector, int argc, t_atom* argv);
    static void onPrint(const char* text);

    t_pdinstance* pd_ = nullptr;
    void* binding_ = nullptr;
    void* patch_ = nullptr;
    std::string replies_;
    std::string console_;
};

}  // namespace quill_libpd
