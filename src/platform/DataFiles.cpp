#include "platform/DataFiles.h"

#include <cstdlib>
#include <system_error>
#include <vector>

namespace fs = std::filesystem;

namespace glowmere::platform {

std::optional<fs::path> findDataFile(std::string_view name, const fs::path& programDirectory) {
    std::vector<fs::path> folders;
    if (const char* dir = std::getenv("GLOWMERE_DATA_DIR"); dir && *dir) folders.emplace_back(dir);
    folders.push_back(programDirectory / "resources");
    folders.push_back(programDirectory / GLOWMERE_DATA_FROM_BINARIES);
    folders.emplace_back(GLOWMERE_INSTALLED_DATA);
    for (const auto& folder : folders) {
        std::error_code error;
        const fs::path candidate = folder / name;
        if (!fs::is_regular_file(candidate, error)) continue;
        fs::path canonical = fs::weakly_canonical(candidate, error);
        return error ? candidate : canonical;
    }
    return std::nullopt;
}

fs::path runningProgramDirectory() {
    std::error_code error;
    fs::path self = fs::read_symlink("/proc/self/exe", error);
    return error ? fs::current_path(error) : self.parent_path();
}

}  // namespace glowmere::platform
