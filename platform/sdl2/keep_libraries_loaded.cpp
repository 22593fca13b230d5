#include "platform/sdl2/keep_libraries_loaded.h"

#include <dlfcn.h>
#include <link.h>

namespace platform::sdl2 {

std::vector<std::string> LoadedLibraries() {
    std::vector<std::string> names;
    dl_iterate_phdr(
        [](dl_phdr_info *info, size_t, void *list) {
            if (info->dlpi_name != nullptr && info->dlpi_name[0] != '\0')
                static_cast<std::vector<std::string> *>(list)->push_back(info->dlpi_name);
            return 0;
        },
        &names);
    return names;
}

void KeepLoadedLibrariesLoaded() {
    // Opened again outside the walk (the loader's lock is held inside it).
    // The handles are never closed: that, with RTLD_NODELETE, is the point.
    for (const std::string &name : LoadedLibraries()) dlopen(name.c_str(), RTLD_NOW | RTLD_NOLOAD | RTLD_NODELETE);
}

}  // namespace platform::sdl2
