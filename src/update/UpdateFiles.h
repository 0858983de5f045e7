#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
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
    // Optional: the file's size in bytes and its SHA-256 (64 hex digits,
    // kept in lower case), "downloadsize" and "downloadsha256".
    std::optional<std::uint64_t> downloadsize;
    std::string downloadsha256;
};

// A download without a size in the version list may be this big.
inline constexpr std::uint64_t maxUnsizedDownload = 200ull * 1024 * 1024;

// The most bytes a download may have: twice the size the version list
// gives, or maxUnsizedDownload without one.
std::uint64_t downloadLimit(const VersionList& list);

// Longest text a version list member may hold; a longer one makes the whole
// list unusable.
inline constexpr std::size_t maxVersionListText = 2048;

// Reads the version list (an XML property list holding a dictionary of
// texts). Nothing, with the reason in `why`, for a document that is not a
// property list, not a dictionary, or whose members are missing, not texts,
// or too long, or whose optional size or SHA-256 is malformed.
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
// (".tar.gz" and its kin count as one extension).
std::string numberedFileName(const std::string& name, int n);

// Moves the finished file `temporary` into `folder` under `name`, never
// replacing a file that is there: when the name is taken, the next free
// numbered name is used. The chosen path, or nothing (the temporary file is
// then left for the caller to remove).
std::optional<std::filesystem::path> publishWithoutReplacing(const std::filesystem::path& temporary,
                                                             const std::filesystem::path& folder,
                                                             const std::string& name, std::string* why = nullptr);

// Whether a saved download may be handed to the desktop's opener: package
// and archive types only (.deb, .rpm, .AppImage, .flatpak, .zip, .7z, .tar.gz,
// .tgz, .tar.xz, .txz, .tar.bz2, .tar.zst), never a document or script that
// the opener could run or show as something else.
bool isOpenableDownload(std::string_view fileName);

// Whether `program` (the running executable) was installed by the Debian
// package `package`: it lies under /usr and dpkg's file list for the package
// (in `dpkgInfo`, "PACKAGE.list" or "PACKAGE:ARCH.list") names it.
bool installedFromDebianPackage(const std::filesystem::path& program, const std::string& package = "glowmere",
                                const std::filesystem::path& dpkgInfo = "/var/lib/dpkg/info");

// SHA-256 over the pieces given to add(), as 64 lower-case hex digits.
class Sha256 {
public:
    Sha256();
    ~Sha256();
    Sha256(const Sha256&) = delete;
    Sha256& operator=(const Sha256&) = delete;
    void add(std::string_view bytes);
    std::string hexDigest();

private:
    struct State;
    std::unique_ptr<State> state_;
};

}  // namespace glowmere::update
