// The INI file class: a file of any contents read, a key written, read back.
//
// Input: one byte choosing the write, then the section, the key, a second key
// of the same section, and the value, each ended by a zero; the rest is the
// file's contents.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>

#include "ini_file.h"

namespace {

void Require(bool condition) {
    if (!condition) {
        std::abort();
    }
}

// A private folder, in memory where there is one: every write syncs the file.
std::string MakeFolder() {
    std::string base = std::filesystem::is_directory("/dev/shm")
                           ? "/dev/shm"
                           : std::filesystem::temp_directory_path().string();
    std::string path = base + "/tessaro-fuzz-XXXXXX";
    Require(mkdtemp(path.data()) != nullptr);
    return path;
}

struct Folder {
    Folder() : path(MakeFolder()) {}
    ~Folder() {
        std::error_code ignored;
        std::filesystem::remove_all(path, ignored);
    }
    std::string path;
};

// Names match without case and without the blanks around them (a line's
// carriage return counts as a trailing blank).
std::string Normalized(std::string_view name) {
    while (!name.empty() && (name.front() == ' ' || name.front() == '\t')) {
        name.remove_prefix(1);
    }
    while (!name.empty() && (name.back() == ' ' || name.back() == '\t' || name.back() == '\r')) {
        name.remove_suffix(1);
    }
    std::string out(name);
    for (char& c : out) {
        if (c >= 'A' && c <= 'Z') {
            c = static_cast<char>(c - 'A' + 'a');
        }
    }
    return out;
}

// The next field up to its zero.
bool TakeField(std::string_view& rest, std::string& field) {
    const size_t zero = rest.find('\0');
    if (zero == std::string_view::npos) {
        return false;
    }
    field = rest.substr(0, zero);
    rest.remove_prefix(zero + 1);
    return true;
}

enum class Write { kString, kInt64, kStruct, kDelete, kCount };

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const Folder folder;
    if (size < 1) {
        return 0;
    }
    const auto write = static_cast<Write>(data[0] % static_cast<int>(Write::kCount));
    std::string_view rest(reinterpret_cast<const char*>(data + 1), size - 1);
    std::string section;
    std::string key;
    std::string other;
    std::string value;
    if (!TakeField(rest, section) || !TakeField(rest, key) || !TakeField(rest, other) ||
        !TakeField(rest, value)) {
        return 0;
    }
    const std::string path = folder.path + "/global.ini";
    std::ofstream(path, std::ios::binary | std::ios::trunc) << rest;

    CIniFile ini(path);
    std::string read;
    std::string otherBefore;
    ini.GetString(section, key, read);
    Require(read.size() < 260);
    ini.GetInt64(section, key, 7);
    ini.GetString(section, other, otherBefore);
    unsigned char record[16];
    ini.GetStruct(section, key, record, value.size() % sizeof record);

    bool written = false;
    switch (write) {
        case Write::kString:
            written = ini.WriteString(section, key, value);
            if (written) {
                Require(ini.GetString(section, key, read) == static_cast<int>(read.size()));
                Require(value.size() >= 260 ? value.compare(0, read.size(), read) == 0
                                            : read == value);
            }
            break;
        case Write::kInt64: {
            int64_t number = 0;
            std::memcpy(&number, value.data(), std::min(value.size(), sizeof number));
            written = ini.WriteInt64(section, key, number);
            // A default other than the number, so that reading it back is seen.
            const int64_t fallback = number == INT64_MAX ? 0 : number + 1;
            Require(!written || ini.GetInt64(section, key, fallback) == number);
            break;
        }
        case Write::kStruct: {
            written = ini.WriteStruct(section, key, value.data(), value.size());
            std::string back(value.size(), '\0');
            Require(!written || ini.GetStruct(section, key, back.data(), back.size()));
            Require(!written || back == value);
            break;
        }
        case Write::kDelete:
            written = ini.DeleteKey(section, key);
            Require(!written ||
                    (ini.GetString(section, key, read) == 0 && ini.GetInt64(section, key, 7) == 7));
            break;
        case Write::kCount:
            break;
    }
    // A write changes its own key and no other.
    if (written && Normalized(other) != Normalized(key)) {
        std::string otherAfter;
        ini.GetString(section, other, otherAfter);
        Require(otherAfter == otherBefore);
    }
    return 0;
}
