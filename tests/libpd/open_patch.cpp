// Opens a patch in libpd and runs a few blocks: a batch run for a Pd that
// comes as a library only, such as Debian's double-precision libpd64. Takes
// Pd's own command line as far as that needs (-path FOLDER ..., -open FILE;
// other flags are ignored); Pd's console goes to stdout (libpd's default).
#include <cstdio>
#include <cstring>
#include <string>

#include <z_libpd.h>

int main(int argc, char** argv)
{
    libpd_init();
    std::string path;
    for (int i = 1; i + 1 < argc; ++i) {
        if (std::strcmp(argv[i], "-path") == 0) libpd_add_to_search_path(argv[++i]);
        else if (std::strcmp(argv[i], "-open") == 0) path = argv[++i];
    }
    if (path.empty()) {
        std::fprintf(stderr, "usage: open_patch [-path FOLDER]... -open PATCH-FILE\n");
        return 2;
    }
    const size_t slash = path.find_last_of('/');
    const std::string folder = slash == std::string::npos ? "." : path.substr(0, slash);
    void* patch = libpd_openfile(path.substr(slash + 1).c_str(), folder.c_str());
    if (patch == nullptr) return 1;
    libpd_init_audio(0, 2, 48000);
    libpd_start_message(1);
    libpd_add_float(1.0f);
    libpd_finish_message("pd", "dsp");
    float out[2 * 64 * 4] = {};
    libpd_process_float(4, nullptr, out);
    libpd_closefile(patch);
    std::fflush(stdout);
    return 0;
}
