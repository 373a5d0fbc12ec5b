// Paths of the filter and PPDs: build folder, installation or environment.
#include "filter_paths.h"

#include <cstdlib>
#include <unistd.h>

#include "catalogue/ppd_name.h"

namespace {

// The app runs from the build when its own binary lies under the build folder.
bool RunningFromBuild() {
    char self[4096];
    const ssize_t length = readlink("/proc/self/exe", self, sizeof self - 1);
    if (length <= 0) return false;
    const std::string exe(self, static_cast<std::size_t>(length));
    const std::string build = NORVEX_BUILD_DIR "/";
    return exe.compare(0, build.size(), build) == 0;
}

std::string Choose(const char* variable, const char* built, const char* installed) {
    if (const char* value = std::getenv(variable); value != nullptr && *value != '\0') return value;
    static const bool fromBuild = RunningFromBuild();
    return fromBuild ? built : installed;
}

}  // namespace

std::string FilterPath() {
    return Choose("NORVEX_FILTER", NORVEX_BUILD_FILTER, NORVEX_INSTALLED_FILTER);
}

std::string PpdPath(const NorvexModel& model) {
    return Choose("NORVEX_PPD_DIR", NORVEX_BUILD_PPD_DIR, NORVEX_INSTALLED_PPD_DIR) + "/" +
           PpdBaseNameOf(model.name) + ".ppd";
}
