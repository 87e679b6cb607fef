#include "qbapi/base64.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace kelvra {

std::string encodeBase64(std::string_view bytes) {
    static constexpr char kAlphabet[] =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    out.reserve((bytes.size() + 2) / 3 * 4);
    std::size_t i = 0;
    for (; i + 3 <= bytes.size(); i += 3) {
        unsigned group = (unsigned char)bytes[i] << 16 | (unsigned char)bytes[i + 1] << 8 |
                         (unsigned char)bytes[i + 2];
        out += kAlphabet[group >> 18];
        out += kAlphabet[(group >> 12) & 63];
        out += kAlphabet[(group >> 6) & 63];
        out += kAlphabet[group & 63];
    }
    std::size_t rest = bytes.size() - i;
    if (rest > 0) {
        unsigned group = (unsigned char)bytes[i] << 16;
        if (rest == 2) group |= (unsigned char)bytes[i + 1] << 8;
        out += kAlphabet[group >> 18];
        out += kAlphabet[(group >> 12) & 63];
        out += rest == 2 ? kAlphabet[(group >> 6) & 63] : '=';
        out += '=';
    }
    return out;
}

bool readFileBase64(const std::string& path, std::string& content) {
    content.clear();
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    // Only regular files: a directory or a device is no attachment.
    struct stat info {};
    bool ok = ::fstat(fd, &info) == 0 && S_ISREG(info.st_mode);
    std::string bytes;
    char buffer[65536];
    while (ok) {
        ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0) ok = false;
        if (n <= 0) break;
        bytes.append(buffer, static_cast<std::size_t>(n));
    }
    ::close(fd);
    if (ok) content = encodeBase64(bytes);
    return ok;
}

}  // namespace kelvra
