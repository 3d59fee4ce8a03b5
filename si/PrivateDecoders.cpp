// The private tables 0x80, 0x82 and 0x93, and the dumps of 0x93.
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

#include "framework/XdgDirs.h"
#include "si/Decoders.h"
#include "broadcast/SectionReader.h"

namespace si {

namespace {

// The documents folder as the XDG user directories name it: the variable
// itself, else the line in user-dirs.dirs (XDG_DOCUMENTS_DIR="$HOME/..."),
// else ~/Documents.
std::string DocumentsDirectory() {
    const std::string home = fw::HomeDirectory();
    if (const char* dir = std::getenv("XDG_DOCUMENTS_DIR"); dir != nullptr && *dir != '\0') return dir;

    std::ifstream dirs(fw::XdgConfigHome() + "/user-dirs.dirs");
    std::string line;
    const std::string prefix = "XDG_DOCUMENTS_DIR=";
    while (std::getline(dirs, line)) {
        if (line.compare(0, prefix.size(), prefix) != 0) continue;
        std::string value = line.substr(prefix.size());
        if (value.size() >= 2 && value.front() == '"' && value.back() == '"') value = value.substr(1, value.size() - 2);
        if (value.compare(0, 5, "$HOME") == 0) value = home + value.substr(5);
        if (!value.empty() && value.front() == '/') return value;
    }
    return home + "/Documents";
}

bool WriteAll(int fd, std::span<const uint8_t> bytes) {
    while (!bytes.empty()) {
        const ssize_t n = ::write(fd, bytes.data(), bytes.size());
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        bytes = bytes.subspan(static_cast<size_t>(n));
    }
    return true;
}

}  // namespace

std::string DefaultDumpDirectory() { return DocumentsDirectory() + "/DVB-Appl/"; }

void DecodePrivate80(const unsigned char*, int) {}

void DecodePrivate82(const unsigned char*, int) {}

void DecodePrivate93(const unsigned char* data, int length, const std::string& dumpDirectory) {
    SectionReader section = WithoutCrc(data, length);
    section.Seek(1);
    const uint16_t section_length = section.Length12();
    // Nine header bytes name the dump, then the payload up to the CRC; a
    // section_length below those two has no payload at all.
    constexpr size_t kNameBytes = 9;
    constexpr size_t kNoPayload = kNameBytes + kCrcSize;
    if (section.Error() || section_length < kNoPayload) return;
    const auto name = section.Bytes(kNameBytes);
    const auto payload = section.Bytes(section_length - kNoPayload);
    // A payload cut short by the end of the section is not dumped.
    if (section.Error()) return;

    std::string path = dumpDirectory;
    for (uint8_t b : name) {
        char hex[3];
        std::snprintf(hex, sizeof hex, "%02X", b);
        path += hex;
    }
    // The first dump of a name stays as it is, also across runs: whatever
    // already exists under the name (file or folder) makes the section go
    // without a dump, and so does a missing folder.
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd < 0) return;
    const bool written = WriteAll(fd, payload);
    const bool closed = ::close(fd) == 0;
    // A dump that could not be written whole is removed, so that it does not
    // stand in the way of the next section of that name.
    if (!written || !closed) ::unlink(path.c_str());
}

}  // namespace si
