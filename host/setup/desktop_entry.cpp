#include "desktop_entry.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string_view>
#include <vector>

namespace fs = std::filesystem;

namespace desktop_entry {
namespace {

constexpr std::string_view kEntryName = "tessaro.desktop";
constexpr std::string_view kHiddenStart = "hide";

// Characters that make an Exec argument need quotes.
constexpr std::string_view kReserved = " \t\n\"'\\><~|&;$*?#()`";
// Characters that need a backslash inside the quotes.
constexpr std::string_view kEscapedInQuotes = "\"`$\\";

// The folder an XDG variable names, or the default under the home folder;
// a relative value is ignored, as the base-directory rules demand.
std::string BaseDir(const char* variable, std::string_view underHome) {
    const char* value = std::getenv(variable);
    if (value != nullptr && value[0] == '/') {
        return value;
    }
    std::string home;
    if (const char* fromEnvironment = std::getenv("HOME"); fromEnvironment != nullptr) {
        home = fromEnvironment;
    }
    if (home.empty()) {
        std::vector<char> buffer(16384);
        passwd entry{};
        passwd* found = nullptr;
        if (getpwuid_r(getuid(), &entry, buffer.data(), buffer.size(), &found) == 0 &&
            found != nullptr && found->pw_dir != nullptr) {
            home = found->pw_dir;
        }
    }
    return home.empty() ? std::string() : home + "/" + std::string(underHome);
}

// One Exec argument: quoted when it holds a reserved character, with '%'
// doubled so that it is no field code.
std::string ExecArgument(std::string_view argument) {
    const bool bQuote =
        argument.empty() || argument.find_first_of(kReserved) != std::string_view::npos;
    std::string out;
    if (bQuote) {
        out += '"';
    }
    for (char c : argument) {
        if (bQuote && kEscapedInQuotes.find(c) != std::string_view::npos) {
            out += '\\';
        } else if (c == '%') {
            out += '%';
        }
        out += c;
    }
    if (bQuote) {
        out += '"';
    }
    return out;
}

// The escapes of a string value of an entry, applied to the whole Exec line
// after the quoting.
std::string StringValue(std::string_view text) {
    std::string out;
    for (char c : text) {
        switch (c) {
            case '\\':
                out += "\\\\";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\t':
                out += "\\t";
                break;
            case '\r':
                out += "\\r";
                break;
            default:
                out += c;
        }
    }
    return out;
}

std::string SystemError(const std::string& what, const std::string& path, int error) {
    return what + " " + path + ": " + std::strerror(error);
}

bool WriteAll(int fd, std::string_view text) {
    while (!text.empty()) {
        const ssize_t written = ::write(fd, text.data(), text.size());
        if (written < 0 && errno == EINTR) {
            continue;
        }
        if (written <= 0) {
            return false;
        }
        text.remove_prefix(static_cast<size_t>(written));
    }
    return true;
}

bool WriteEntry(const std::string& path, const std::string& strProgram, std::string_view arguments,
                std::string& strError) {
    if (path.empty()) {
        strError = "There is no home folder to keep the desktop entry in.";
        return false;
    }
    if (strProgram.empty() || std::any_of(strProgram.begin(), strProgram.end(), [](char c) {
            return (static_cast<unsigned char>(c) < 0x20 && c != '\t' && c != '\n' && c != '\r') ||
                   c == 0x7F;
        })) {
        strError = "The program path \"" + strProgram + "\" cannot be written into " + path + ".";
        return false;
    }
    const fs::path target(path);
    std::error_code error;
    fs::create_directories(target.parent_path(), error);
    if (error) {
        strError =
            "Cannot create the folder " + target.parent_path().string() + ": " + error.message();
        return false;
    }
    std::string temporary =
        (target.parent_path() / ("." + target.filename().string())).string() + ".XXXXXX";
    const int fd = ::mkstemp(temporary.data());
    if (fd < 0) {
        strError = SystemError("Cannot create a temporary file beside", path, errno);
        return false;
    }
    const std::string text = EntryText(strProgram, std::string(arguments));
    int failure = 0;
    if (!WriteAll(fd, text) || ::fchmod(fd, 0644) != 0 || ::fsync(fd) != 0) {
        failure = errno;
    }
    if (::close(fd) != 0 && failure == 0) {
        failure = errno;
    }
    if (failure == 0 && ::rename(temporary.c_str(), path.c_str()) != 0) {
        failure = errno;
    }
    if (failure != 0) {
        ::unlink(temporary.c_str());
        strError = SystemError("Cannot write", path, failure);
        return false;
    }
    return true;
}

bool RemoveEntry(const std::string& path, std::string& strError) {
    if (path.empty() || ::unlink(path.c_str()) == 0 || errno == ENOENT) {
        return true;
    }
    strError = SystemError("Cannot remove", path, errno);
    return false;
}

}  // namespace

std::string AutostartEntryPath() {
    const std::string base = BaseDir("XDG_CONFIG_HOME", ".config");
    return base.empty() ? base : base + "/autostart/" + std::string(kEntryName);
}

std::string ApplicationEntryPath() {
    const std::string base = BaseDir("XDG_DATA_HOME", ".local/share");
    return base.empty() ? base : base + "/applications/" + std::string(kEntryName);
}

bool WriteAutostartEntry(const std::string& strProgram, std::string& strError) {
    return WriteEntry(AutostartEntryPath(), strProgram, kHiddenStart, strError);
}

bool RemoveAutostartEntry(std::string& strError) {
    return RemoveEntry(AutostartEntryPath(), strError);
}

bool WriteApplicationEntry(const std::string& strProgram, std::string& strError) {
    return WriteEntry(ApplicationEntryPath(), strProgram, "", strError);
}

bool RemoveApplicationEntry(std::string& strError) {
    return RemoveEntry(ApplicationEntryPath(), strError);
}

std::string EntryText(const std::string& strProgram, const std::string& strArguments) {
    std::string exec = ExecArgument(strProgram);
    if (!strArguments.empty()) {
        exec += ' ';
        exec += strArguments;
    }
    return "[Desktop Entry]\n"
           "Type=Application\n"
           "Name=Tessaro\n"
           "Comment=Local catalogue of BitTorrent index sites\n"
           "Exec=" +
           StringValue(exec) +
           "\n"
           "Icon=tessaro\n"
           "Terminal=false\n"
           "Categories=Network;\n";
}

}  // namespace desktop_entry
