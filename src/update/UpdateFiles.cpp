#include "update/UpdateFiles.h"

#include <fcntl.h>
#include <linux/fs.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <climits>
#include <cstring>
#include <fstream>
#include <vector>

#include <openssl/evp.h>

#include "platform/PropertyList.h"
#include "platform/Value.h"

namespace glowmere::update {

std::optional<VersionList> parseVersionList(std::string_view xml, std::string* why) {
    auto fail = [&](std::string reason) -> std::optional<VersionList> {
        if (why) *why = std::move(reason);
        return std::nullopt;
    };
    std::string error;
    auto root = platform::readPropertyList(xml, &error);
    if (!root) return fail("it is not a property list (" + error + ")");
    if (!root->isMap()) return fail("it is not a dictionary");
    VersionList list;
    const std::pair<const char*, std::string*> members[] = {{"currentversion", &list.currentversion},
                                                            {"newinthisversionurl", &list.newinthisversionurl},
                                                            {"releasedate", &list.releasedate},
                                                            {"downloadurl", &list.downloadurl}};
    for (const auto& [key, target] : members) {
        const Value& value = (*root)[key];
        if (value.isNull()) return fail(std::string("\"") + key + "\" is missing");
        if (!value.isText()) return fail(std::string("\"") + key + "\" is not a text");
        if (value.text().size() > maxVersionListText) return fail(std::string("\"") + key + "\" is too long");
        *target = value.text();
    }
    // The size: a positive integer, or a text of digits only.
    const Value& size = (*root)["downloadsize"];
    if (size.isInteger() && size.integerValue() > 0) {
        list.downloadsize = static_cast<std::uint64_t>(size.integerValue());
    } else if (size.isText() && !size.text().empty() && size.text().size() <= 15 &&
               size.text().find_first_not_of("0123456789") == std::string::npos && leadingInteger(size.text()) > 0) {
        list.downloadsize = static_cast<std::uint64_t>(leadingInteger(size.text()));
    } else if (!size.isNull()) {
        return fail("\"downloadsize\" is not a positive number of bytes");
    }
    const Value& sha = (*root)["downloadsha256"];
    if (!sha.isNull()) {
        if (!sha.isText() || sha.text().size() != 64 ||
            sha.text().find_first_not_of("0123456789abcdefABCDEF") != std::string::npos)
            return fail("\"downloadsha256\" is not 64 hexadecimal digits");
        for (char c : sha.text())
            list.downloadsha256.push_back(static_cast<char>(c >= 'A' && c <= 'F' ? c - 'A' + 'a' : c));
    }
    return list;
}

std::uint64_t downloadLimit(const VersionList& list) {
    if (!list.downloadsize) return maxUnsizedDownload;
    // Twice the announced size, without wrapping.
    return *list.downloadsize > UINT64_MAX / 2 ? UINT64_MAX : *list.downloadsize * 2;
}

namespace {

// Major, minor and patch, or nothing for no parts or more than three.
std::optional<std::array<int, 3>> versionParts(std::string_view text) {
    std::vector<std::string_view> parts;
    for (;;) {
        auto dot = text.find('.');
        parts.push_back(text.substr(0, dot));
        if (dot == std::string_view::npos) break;
        text.remove_prefix(dot + 1);
    }
    if (parts.empty() || parts.size() > 3) return std::nullopt;
    std::array<int, 3> numbers{0, 0, 0};
    for (std::size_t i = 0; i < parts.size(); ++i) {
        std::int64_t n = leadingInteger(parts[i]);
        numbers[i] = static_cast<int>(std::clamp<std::int64_t>(n, INT_MIN, INT_MAX));
    }
    return numbers;
}

int hexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

}  // namespace

bool versionIsHigher(std::string_view server, std::string_view running) {
    auto s = versionParts(server);
    auto r = versionParts(running);
    if (!s || !r) return false;
    for (int i = 0; i < 3; ++i)
        if ((*s)[i] != (*r)[i]) return (*s)[i] > (*r)[i];
    return false;
}

std::optional<std::string> downloadFileName(std::string_view url, std::string* why) {
    auto fail = [&](std::string reason) -> std::optional<std::string> {
        if (why) *why = std::move(reason);
        return std::nullopt;
    };
    std::string_view path = url;
    if (auto end = path.find_first_of("?#"); end != std::string_view::npos) path = path.substr(0, end);
    // Past the scheme and host, if any: "http://host" alone has no file name.
    if (auto scheme = path.find("://"); scheme != std::string_view::npos) {
        path.remove_prefix(scheme + 3);
        auto slash = path.find('/');
        path = slash == std::string_view::npos ? std::string_view() : path.substr(slash);
    }
    auto lastSlash = path.rfind('/');
    std::string_view raw = lastSlash == std::string_view::npos ? path : path.substr(lastSlash + 1);
    std::string name;
    for (std::size_t i = 0; i < raw.size(); ++i) {
        if (raw[i] != '%') {
            name.push_back(raw[i]);
            continue;
        }
        int high = i + 2 < raw.size() ? hexValue(raw[i + 1]) : -1;
        int low = i + 2 < raw.size() ? hexValue(raw[i + 2]) : -1;
        if (high < 0 || low < 0) return fail("its percent-encoding is broken");
        name.push_back(static_cast<char>(high * 16 + low));
        i += 2;
    }
    if (name.empty()) return fail("the address names no file");
    if (name == "." || name == "..") return fail("\"" + name + "\" is no file name");
    for (unsigned char c : name) {
        if (c == '/' || c == '\\') return fail("it holds a path separator");
        if (c < 0x20 || c == 0x7F) return fail("it holds a control character");
    }
    if (name.size() > NAME_MAX) return fail("it is too long for a file name");
    return name;
}

std::string numberedFileName(const std::string& name, int n) {
    if (n <= 0) return name;
    // "App-2.1.deb" becomes "App-2.1 (1).deb" and "App-2.1.tar.gz"
    // "App-2.1 (1).tar.gz"; a leading dot is no extension.
    auto dot = name.rfind('.');
    if (dot != std::string::npos && dot >= 4 && name.compare(dot - 4, 4, ".tar") == 0) dot -= 4;
    std::string suffix = " (" + std::to_string(n) + ")";
    if (dot == std::string::npos || dot == 0) return name + suffix;
    return name.substr(0, dot) + suffix + name.substr(dot);
}

std::optional<std::filesystem::path> publishWithoutReplacing(const std::filesystem::path& temporary,
                                                             const std::filesystem::path& folder,
                                                             const std::string& name, std::string* why) {
    for (int n = 0; n < 1000; ++n) {
        std::string candidate = numberedFileName(name, n);
        if (candidate.size() > NAME_MAX) break;
        const std::filesystem::path target = folder / candidate;
        // An atomic rename that refuses to replace: two downloads (or another
        // program) can never overwrite each other's file.
        if (::syscall(SYS_renameat2, AT_FDCWD, temporary.c_str(), AT_FDCWD, target.c_str(), RENAME_NOREPLACE) == 0)
            return target;
        if (errno == EEXIST) continue;
        if (errno != EINVAL && errno != ENOSYS) {
            if (why) *why = std::strerror(errno);
            return std::nullopt;
        }
        // A file system without renameat2's no-replace: a hard link is just
        // as exclusive.
        if (::link(temporary.c_str(), target.c_str()) == 0) {
            ::unlink(temporary.c_str());
            return target;
        }
        if (errno == EEXIST) continue;
        if (why) *why = std::strerror(errno);
        return std::nullopt;
    }
    if (why) *why = "every numbered name for \"" + name + "\" is taken";
    return std::nullopt;
}

bool isOpenableDownload(std::string_view fileName) {
    static constexpr std::string_view endings[] = {".deb",     ".rpm",    ".appimage", ".flatpak", ".zip",
                                                   ".7z",      ".tar.gz", ".tgz",      ".tar.xz",  ".txz",
                                                   ".tar.bz2", ".tbz2",   ".tar.zst"};
    std::string lower;
    for (char c : fileName) lower.push_back(static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c));
    for (std::string_view ending : endings)
        if (lower.size() > ending.size() && lower.ends_with(ending)) return true;
    return false;
}

bool installedFromDebianPackage(const std::filesystem::path& program, const std::string& package,
                                const std::filesystem::path& dpkgInfo) {
    std::error_code error;
    const std::filesystem::path real = std::filesystem::weakly_canonical(program, error);
    if (error || real.string().rfind("/usr/", 0) != 0) return false;
    std::vector<std::filesystem::path> lists{dpkgInfo / (package + ".list")};
    for (const auto& entry : std::filesystem::directory_iterator(dpkgInfo, error)) {
        const std::string name = entry.path().filename().string();
        if (name.rfind(package + ":", 0) == 0 && name.ends_with(".list")) lists.push_back(entry.path());
    }
    for (const auto& list : lists) {
        std::ifstream in(list);
        // dpkg lists the path as installed, which may differ from the real
        // one by a symbolic link (/usr/bin against /bin): compare both ways.
        for (std::string line; std::getline(in, line);)
            if (line == program.string() || line == real.string()) return true;
    }
    return false;
}

struct Sha256::State {
    EVP_MD_CTX* context = EVP_MD_CTX_new();
    ~State() { EVP_MD_CTX_free(context); }
};

Sha256::Sha256() : state_(std::make_unique<State>()) {
    EVP_DigestInit_ex(state_->context, EVP_sha256(), nullptr);
}

Sha256::~Sha256() = default;

void Sha256::add(std::string_view bytes) {
    EVP_DigestUpdate(state_->context, bytes.data(), bytes.size());
}

std::string Sha256::hexDigest() {
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    EVP_DigestFinal_ex(state_->context, digest, &length);
    static constexpr char hex[] = "0123456789abcdef";
    std::string out;
    for (unsigned int i = 0; i < length; ++i) {
        out.push_back(hex[digest[i] >> 4]);
        out.push_back(hex[digest[i] & 15]);
    }
    return out;
}

}  // namespace glowmere::update
