// File lookup and binary reads and writes over POSIX.
#include "platform/os/files.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>

namespace kl::platform {

namespace fs = std::filesystem;

namespace {

bool same_ignoring_case(const std::string& a, const std::string& b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) ==
                      std::tolower(static_cast<unsigned char>(y));
           });
}

std::vector<std::string> split_components(const std::string& relative) {
    std::vector<std::string> parts;
    std::string current;
    for (char c : relative) {
        if (c == '\\' || c == '/') {
            if (!current.empty()) parts.push_back(current);
            current.clear();
        } else {
            current += c;
        }
    }
    if (!current.empty()) parts.push_back(current);
    return parts;
}

std::string errno_text(const std::string& what) {
    return what + ": " + std::strerror(errno);
}

bool write_all(int fd, const std::uint8_t* data, std::size_t size) {
    while (size > 0) {
        const ssize_t n = ::write(fd, data, size);
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        data += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

// The permissions of a file about to be replaced, or why it must not be. The rename that replaces
// it needs only the folder's permission: without this a write-protected file would be replaced, and
// even the super-user leaves one whose write bits are all off alone.
std::string existing_mode(const fs::path& path, mode_t& mode) {
    std::error_code ec;
    mode = static_cast<mode_t>(fs::status(path, ec).permissions() & fs::perms::mask);
    if (::access(path.c_str(), W_OK) != 0) return errno_text("cannot write " + path.string());
    if ((mode & 0222) == 0) return "cannot write " + path.string() + ": the file is read-only";
    return {};
}

// Writes the content to a temporary file in the same folder, flushes it and renames it over the
// file, so a crash or a full disk never leaves a shortened or half-written file.
std::string replace_file(const fs::path& path, const std::uint8_t* data, std::size_t size, mode_t mode) {
    std::string tmp = path.string() + ".XXXXXX";
    const int fd = ::mkstemp(tmp.data());
    if (fd < 0) return errno_text("cannot create a temporary file beside " + path.string());
    ::fchmod(fd, mode);
    const bool written = write_all(fd, data, size) && ::fsync(fd) == 0;
    const std::string write_error = written ? "" : errno_text("cannot write " + tmp);
    if (::close(fd) != 0 && written) {
        ::unlink(tmp.c_str());
        return errno_text("cannot write " + tmp);
    }
    if (!written) {
        ::unlink(tmp.c_str());
        return write_error;
    }
    if (::rename(tmp.c_str(), path.c_str()) != 0) {
        const std::string err = errno_text("cannot replace " + path.string());
        ::unlink(tmp.c_str());
        return err;
    }
    return {};
}

} // namespace

fs::path ResolvePath(const fs::path& root, const std::string& relative) {
    fs::path current = root;
    for (const std::string& part : split_components(relative)) {
        std::error_code ec;
        fs::path exact = current / part;
        if (part == "." || part == ".." || fs::exists(exact, ec)) {
            current = exact;
            continue;
        }
        fs::path found = exact;
        for (const auto& entry : fs::directory_iterator(current, ec)) {
            if (same_ignoring_case(entry.path().filename().string(), part)) {
                found = entry.path();
                break;
            }
        }
        current = found;
    }
    return current;
}

bool FileExists(const fs::path& path) {
    std::error_code ec;
    return fs::is_regular_file(path, ec);
}

std::optional<std::vector<std::uint8_t>> ReadFileBytes(const fs::path& path, std::size_t max_bytes) {
    std::ifstream in(path, std::ios::binary | std::ios::ate);
    if (!in) return std::nullopt;
    // Size the buffer from the file, so that a generous limit costs nothing for a small file.
    const std::streamoff size = in.tellg();
    if (size < 0) return std::nullopt;
    in.seekg(0);
    std::vector<std::uint8_t> bytes(std::min(max_bytes, static_cast<std::size_t>(size)));
    in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    if (in.bad()) return std::nullopt;
    bytes.resize(static_cast<std::size_t>(in.gcount()));
    return bytes;
}

std::string OverwriteFileStart(const fs::path& path, const std::vector<std::uint8_t>& prefix) {
    std::vector<std::uint8_t> content = prefix;
    mode_t mode = 0644;
    if (FileExists(path)) {
        if (std::string error = existing_mode(path, mode); !error.empty()) return error;
        std::ifstream in(path, std::ios::binary);
        if (!in) return "cannot read " + path.string();
        std::vector<std::uint8_t> old((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        if (in.bad()) return "cannot read " + path.string();
        if (old.size() > content.size())
            content.insert(content.end(), old.begin() + static_cast<std::ptrdiff_t>(prefix.size()),
                           old.end());
    }

    return replace_file(path, content.data(), content.size(), mode);
}

std::string WriteWholeFile(const fs::path& path, const std::string& content) {
    std::error_code ec;
    if (path.has_parent_path() && !fs::exists(path.parent_path(), ec)) {
        fs::create_directories(path.parent_path(), ec);
        if (ec) return "cannot create the folder " + path.parent_path().string() + ": " + ec.message();
    }
    mode_t mode = 0644;
    if (FileExists(path))
        if (std::string error = existing_mode(path, mode); !error.empty()) return error;
    return replace_file(path, reinterpret_cast<const std::uint8_t*>(content.data()), content.size(), mode);
}

} // namespace kl::platform
