#pragma once

#include <filesystem>
#include <optional>
#include <string_view>

namespace glowmere::platform {

// Finds one of the files an installed Glowmere reads (the help page,
// "support.html"), looking in turn in:
//   $GLOWMERE_DATA_DIR
//   PROGRAM_DIR/resources               the build tree, beside the program
//   PROGRAM_DIR/../share/glowmere       the install prefix, found from where the
//                                       program is (a moved prefix still works)
//   PREFIX/share/glowmere               the prefix it was built for
// Nothing when none holds it.
std::optional<std::filesystem::path> findDataFile(std::string_view name, const std::filesystem::path& programDirectory);

// The folder of the running program (from /proc/self/exe).
std::filesystem::path runningProgramDirectory();

}  // namespace glowmere::platform
