#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace glowmere::update {

// What the update server's version list says about the newest version.
struct VersionList {
    std::string currentversion;
    std::string newinthisversionurl;
    std::string releasedate;
    std::string downloadurl;
};

// Longest text a version list member may hold; a longer one makes the whole
// list unusable.
inline constexpr std::size_t maxVersionListText = 2048;

// Reads the version list (an XML property list holding a dictionary of
// texts). Nothing, with the reason in `why`, for a document that is not a
// property list, not a dictionary, or whose members are missing, not texts,
// or too long.
std::optional<VersionList> parseVersionList(std::string_view xml, std::string* why = nullptr);

// Whether `server` names a higher version than `running`: both are one to
// three whole numbers joined by "."; each part counts by its leading digits
// (after spaces and a sign), missing parts count 0; four or more parts on
// either side mean no.
bool versionIsHigher(std::string_view server, std::string_view running);

// The name a download is saved under: the URL's last path component (query
// and fragment left off), percent-decoded. Nothing, with the reason, when
// that name is empty, "." or "..", holds a path separator or a control
// character, is badly percent-encoded or too long for a file name.
std::optional<std::string> downloadFileName(std::string_view url, std::string* why = nullptr);

// "name", then "name (1).ext", "name (2).ext", ... for n = 0, 1, 2, ...
std::string numberedFileName(const std::string& name, int n);

// Moves the finished file `temporary` into `folder` under `name`, never
// replacing a file that is there: when the name is taken, the next free
// numbered name is used. The chosen path, or nothing (the temporary file is
// then left for the caller to remove).
std::optional<std::filesystem::path> publishWithoutReplacing(const std::filesystem::path& temporary,
                                                             const std::filesystem::path& folder,
                                                             const std::string& name, std::string* why = nullptr);

}  // namespace glowmere::update
