#include "ini_file.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <charconv>
#include <climits>
#include <cstring>
#include <ctime>
#include <limits>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace {

// Windows hands values back through 260-byte buffers, terminator included.
constexpr size_t kValueBufferBytes = 260;

class UniqueFd {
  public:
    explicit UniqueFd(int fd = -1) : fd_(fd) {}
    ~UniqueFd() {
        if (fd_ >= 0) {
            ::close(fd_);
        }
    }
    UniqueFd(const UniqueFd&) = delete;
    UniqueFd& operator=(const UniqueFd&) = delete;
    int get() const { return fd_; }
    explicit operator bool() const { return fd_ >= 0; }
    // Closes now and reports the result, which a write must not ignore.
    bool Close() {
        int fd = fd_;
        fd_ = -1;
        return fd < 0 || ::close(fd) == 0;
    }

  private:
    int fd_;
};

bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}

std::string_view Trim(std::string_view s) {
    while (!s.empty() && IsBlank(s.front())) {
        s.remove_prefix(1);
    }
    while (!s.empty() && (IsBlank(s.back()) || s.back() == '\r')) {
        s.remove_suffix(1);
    }
    return s;
}

std::string Lower(std::string_view s) {
    std::string out(s);
    for (char& c : out) {
        if (c >= 'A' && c <= 'Z') {
            c = static_cast<char>(c - 'A' + 'a');
        }
    }
    return out;
}

bool IsQuote(char c) {
    return c == '"' || c == '\'';
}

std::string_view Unquote(std::string_view v) {
    if (v.size() >= 2 && IsQuote(v.front()) && v.back() == v.front()) {
        return v.substr(1, v.size() - 2);
    }
    return v;
}

// One line of the file, classified once. Lines keep their exact text so a
// rewrite leaves everything it does not touch as it was.
struct Line {
    enum Kind { kOther, kSection, kKey } kind = kOther;
    std::string text;
    std::string name;  // lower-cased section or key name
    std::string_view Value() const {
        auto eq = text.find('=');
        return Unquote(Trim(std::string_view(text).substr(eq + 1)));
    }
};

std::vector<Line> Parse(std::string_view content) {
    if (content.substr(0, 3) == "\xEF\xBB\xBF") {
        content.remove_prefix(3);
    }
    std::vector<Line> lines;
    while (!content.empty()) {
        auto nl = content.find('\n');
        std::string_view raw = content.substr(0, nl);
        content = nl == std::string_view::npos ? std::string_view() : content.substr(nl + 1);

        Line line;
        line.text = std::string(raw);
        std::string_view t = Trim(raw);
        if (!t.empty() && t.front() == '[') {
            auto close = t.find(']');
            line.kind = Line::kSection;
            line.name =
                Lower(Trim(t.substr(1, close == std::string_view::npos ? t.npos : close - 1)));
        } else if (!t.empty() && t.front() != ';' && t.find('=') != std::string_view::npos) {
            line.kind = Line::kKey;
            line.name = Lower(Trim(t.substr(0, t.find('='))));
        }
        lines.push_back(std::move(line));
    }
    return lines;
}

enum class ReadResult { kOk, kMissing, kError };

ReadResult ReadWholeFile(const std::string& path, std::string& out) {
    out.clear();
    UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (!fd) {
        return errno == ENOENT ? ReadResult::kMissing : ReadResult::kError;
    }
    char buf[65536];
    for (;;) {
        ssize_t n = ::read(fd.get(), buf, sizeof buf);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0) {
            return ReadResult::kError;
        }
        if (n == 0) {
            return ReadResult::kOk;
        }
        out.append(buf, static_cast<size_t>(n));
    }
}

bool WriteAll(int fd, std::string_view data) {
    while (!data.empty()) {
        ssize_t n = ::write(fd, data.data(), data.size());
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return false;
        }
        data.remove_prefix(static_cast<size_t>(n));
    }
    return true;
}

bool ValidName(std::string_view name, char forbidden) {
    name = Trim(name);
    if (name.empty() || name.front() == ';' || name.front() == '[') {
        return false;
    }
    for (char c : name) {
        if (c == '\n' || c == '\r' || c == '\0' || c == forbidden) {
            return false;
        }
    }
    return true;
}

bool ValidValue(std::string_view value) {
    return value.find_first_of(std::string_view("\n\r\0", 3)) == std::string_view::npos;
}

std::string EncodeValue(const std::string& value) {
    bool needsQuotes =
        !value.empty() &&
        (IsBlank(value.front()) || IsBlank(value.back()) ||
         (value.size() >= 2 && IsQuote(value.front()) && value.back() == value.front()));
    return needsQuotes ? "\"" + value + "\"" : value;
}

// The file that a write really replaces: a symbolic link stays a link.
std::string ResolveTarget(const std::string& path) {
    struct stat st;
    if (::lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) {
        if (char* real = ::realpath(path.c_str(), nullptr)) {
            std::string resolved(real);
            ::free(real);
            return resolved;
        }
    }
    return path;
}

std::string DirectoryOf(const std::string& path) {
    auto slash = path.rfind('/');
    if (slash == std::string::npos) {
        return ".";
    }
    return slash == 0 ? "/" : path.substr(0, slash);
}

std::string& AppDirOverride() {
    static std::string dir;
    return dir;
}

}  // namespace

struct CIniFile::Snapshot {
    std::string path;
    dev_t dev = 0;
    ino_t ino = 0;
    off_t size = -1;
    timespec mtime{};
    timespec ctime{};
    // When the content below was last confirmed to be the file's.
    timespec confirmed{};
    std::string content;
    // section -> key -> value; the first of duplicated sections and keys
    // wins, as the lookup of the Windows functions does.
    std::unordered_map<std::string, std::unordered_map<std::string, std::string>> sections;

    bool SameFile(const std::string& p, const struct stat& st) const {
        return p == path && st.st_dev == dev && st.st_ino == ino && st.st_size == size &&
               st.st_mtim.tv_sec == mtime.tv_sec && st.st_mtim.tv_nsec == mtime.tv_nsec &&
               st.st_ctim.tv_sec == ctime.tv_sec && st.st_ctim.tv_nsec == ctime.tv_nsec;
    }

    // File times tick coarsely, so a file rewritten in place just after it
    // was read can keep its size and times. Until its times lie clearly
    // before the last confirmation, the content is compared again.
    bool NeedsConfirmation() const {
        constexpr time_t kTimestampSlackSeconds = 2;
        return mtime.tv_sec + kTimestampSlackSeconds >= confirmed.tv_sec ||
               ctime.tv_sec + kTimestampSlackSeconds >= confirmed.tv_sec;
    }

    const std::string* Find(const std::string& section, const std::string& key) const {
        auto s = sections.find(Lower(Trim(section)));
        if (s == sections.end()) {
            return nullptr;
        }
        auto k = s->second.find(Lower(Trim(key)));
        return k == s->second.end() ? nullptr : &k->second;
    }
};

namespace {

// The value as the Windows functions hand it over: at most 259 bytes. A cut
// inside a UTF-8 sequence drops the partial character.
std::string CutToBuffer(const std::string& value) {
    if (value.size() < kValueBufferBytes) {
        return value;
    }
    size_t end = kValueBufferBytes - 1;
    while (end > 0 && (static_cast<unsigned char>(value[end]) & 0xC0) == 0x80) {
        --end;
    }
    return value.substr(0, end);
}

// Sets the key `key` of section `section` (both lower-cased) to the line
// `*replacement`, or deletes it when `replacement` is null. A missing
// section is added at the end under the header `sectionHeader`.
void Apply(std::vector<Line>& lines, const std::string& section, const std::string& key,
           const std::string* replacement, const std::string& sectionHeader) {
    size_t begin = lines.size();
    for (size_t i = 0; i < lines.size(); ++i) {
        if (lines[i].kind == Line::kSection && lines[i].name == section) {
            begin = i;
            break;
        }
    }
    if (begin == lines.size()) {
        if (!replacement) {
            return;
        }
        lines.push_back(Line{Line::kSection, "[" + sectionHeader + "]", section});
        lines.push_back(Line{Line::kKey, *replacement, key});
        return;
    }
    size_t end = begin + 1;
    while (end < lines.size() && lines[end].kind != Line::kSection) {
        ++end;
    }
    for (size_t i = begin + 1; i < end; ++i) {
        if (lines[i].kind == Line::kKey && lines[i].name == key) {
            if (replacement) {
                lines[i].text = *replacement;
            } else {
                lines.erase(lines.begin() + static_cast<ptrdiff_t>(i));
            }
            return;
        }
    }
    if (!replacement) {
        return;
    }
    // After the section's last non-blank line, so blank separators stay
    // between sections.
    size_t at = end;
    while (at > begin + 1 && Trim(lines[at - 1].text).empty()) {
        --at;
    }
    lines.insert(lines.begin() + static_cast<ptrdiff_t>(at), Line{Line::kKey, *replacement, key});
}

std::string Serialize(const std::vector<Line>& lines) {
    std::string out;
    for (const Line& line : lines) {
        out += line.text;
        out += '\n';
    }
    return out;
}

// Replaces `path` with `content`: a temporary file beside it, flushed to
// disk, then renamed over it, so readers see the old file or the new one and
// never a part of either.
bool ReplaceFile(const std::string& path, const std::string& content) {
    static std::atomic<unsigned> counter{0};
    std::string tmp =
        path + ".tmp." + std::to_string(::getpid()) + "." + std::to_string(counter.fetch_add(1));
    UniqueFd fd(::open(tmp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666));
    if (!fd) {
        return false;
    }
    struct stat st;
    bool ok = true;
    if (::stat(path.c_str(), &st) == 0) {
        ok = ::fchmod(fd.get(), st.st_mode & 07777) == 0;
    }
    ok = ok && WriteAll(fd.get(), content) && ::fdatasync(fd.get()) == 0;
    ok = fd.Close() && ok;
    ok = ok && ::rename(tmp.c_str(), path.c_str()) == 0;
    if (!ok) {
        ::unlink(tmp.c_str());
    }
    return ok;
}

}  // namespace

const std::string* CIniFile::Lookup(const std::string& section, const std::string& key) const {
    struct stat st;
    if (::stat(m_strPath.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) {
        m_snapshot.reset();
        return nullptr;
    }
    const bool sameFile = m_snapshot && m_snapshot->SameFile(m_strPath, st);
    if (sameFile && !m_snapshot->NeedsConfirmation()) {
        return m_snapshot->Find(section, key);
    }

    timespec now{};
    ::clock_gettime(CLOCK_REALTIME, &now);
    std::string content;
    if (ReadWholeFile(m_strPath, content) != ReadResult::kOk) {
        m_snapshot.reset();
        return nullptr;
    }
    if (sameFile && content == m_snapshot->content) {
        m_snapshot->confirmed = now;
        return m_snapshot->Find(section, key);
    }

    auto snap = std::make_shared<Snapshot>();
    snap->path = m_strPath;
    snap->dev = st.st_dev;
    snap->ino = st.st_ino;
    snap->size = st.st_size;
    snap->mtime = st.st_mtim;
    snap->ctime = st.st_ctim;
    snap->confirmed = now;
    std::unordered_map<std::string, std::string>* current = nullptr;
    for (const Line& line : Parse(content)) {
        if (line.kind == Line::kSection) {
            auto [it, fresh] = snap->sections.try_emplace(line.name);
            current = fresh ? &it->second : nullptr;
        } else if (line.kind == Line::kKey && current) {
            current->try_emplace(line.name, std::string(line.Value()));
        }
    }
    snap->content = std::move(content);
    m_snapshot = std::move(snap);
    return m_snapshot->Find(section, key);
}

bool CIniFile::IsReadable(std::string& strReason) const {
    struct stat st;
    if (::stat(m_strPath.c_str(), &st) != 0) {
        if (errno == ENOENT) {
            return true;
        }
        strReason = "cannot read " + m_strPath + ": " + std::strerror(errno);
        return false;
    }
    if (!S_ISREG(st.st_mode)) {
        strReason = "cannot read " + m_strPath + ": not a regular file";
        return false;
    }
    std::string content;
    if (ReadWholeFile(m_strPath, content) == ReadResult::kError) {
        strReason = "cannot read " + m_strPath + ": " + std::strerror(errno);
        return false;
    }
    return true;
}

int CIniFile::GetString(const std::string& section, const std::string& key,
                        std::string& out) const {
    const std::string* value = Lookup(section, key);
    out = value ? CutToBuffer(*value) : std::string();
    return static_cast<int>(out.size());
}

int64_t CIniFile::GetInt64(const std::string& section, const std::string& key,
                           int64_t defaultValue) const {
    std::string text;
    if (GetString(section, key, text) == 0) {
        return defaultValue;
    }
    std::string_view t = Trim(text);
    bool negative = false;
    if (!t.empty() && (t.front() == '-' || t.front() == '+')) {
        negative = t.front() == '-';
        t.remove_prefix(1);
    }
    uint64_t magnitude = 0;
    auto [end, ec] = std::from_chars(t.data(), t.data() + t.size(), magnitude);
    if (end == t.data()) {
        return 0;
    }
    // Out-of-range text saturates rather than wrapping into a surprising
    // value of the other sign.
    constexpr uint64_t kMaxPositive = std::numeric_limits<int64_t>::max();
    if (ec == std::errc::result_out_of_range || magnitude > kMaxPositive + (negative ? 1 : 0)) {
        return negative ? std::numeric_limits<int64_t>::min() : std::numeric_limits<int64_t>::max();
    }
    if (negative) {
        return magnitude == kMaxPositive + 1 ? std::numeric_limits<int64_t>::min()
                                             : -static_cast<int64_t>(magnitude);
    }
    return static_cast<int64_t>(magnitude);
}

bool CIniFile::WriteInt64(const std::string& section, const std::string& key, int64_t value) {
    return WriteString(section, key, std::to_string(value));
}

bool CIniFile::WriteString(const std::string& section, const std::string& key,
                           const std::string& text) {
    if (!ValidValue(text)) {
        return false;
    }
    return Update({section, key, std::string(Trim(key)) + "=" + EncodeValue(text)});
}

bool CIniFile::DeleteKey(const std::string& section, const std::string& key) {
    return Update({section, key, std::string()});
}

bool CIniFile::Update(Change change) {
    if (!ValidName(change.section, ']') || !ValidName(change.key, '=')) {
        return false;
    }
    if (m_nBatchDepth > 0) {
        m_pending.push_back(std::move(change));
        return true;
    }
    return ApplyChanges({change});
}

bool CIniFile::ApplyChanges(const std::vector<Change>& changes) {
    if (changes.empty()) {
        return true;
    }
    const std::string target = ResolveTarget(m_strPath);

    // Writers of one file, in this process or another, take turns on the
    // folder's lock: every write re-reads the file under it, so a key another
    // writer added a moment ago is never lost. The lock sits on the folder
    // because each write replaces the file itself.
    UniqueFd dir(::open(DirectoryOf(target).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!dir) {
        return false;
    }
    while (::flock(dir.get(), LOCK_EX) != 0) {
        if (errno != EINTR) {
            return false;
        }
    }

    std::string content;
    if (ReadWholeFile(target, content) == ReadResult::kError) {
        return false;
    }
    std::vector<Line> lines = Parse(content);
    for (const Change& change : changes) {
        Apply(lines, Lower(Trim(change.section)), Lower(Trim(change.key)),
              change.line.empty() ? nullptr : &change.line, std::string(Trim(change.section)));
    }
    std::string updated = Serialize(lines);
    if (updated == content) {
        return true;
    }
    m_snapshot.reset();
    return ReplaceFile(target, updated);
}

bool CIniFile::Batch::Commit() {
    if (!m_bEnded) {
        m_bEnded = true;
        --m_ini.m_nBatchDepth;
    }
    if (m_ini.m_nBatchDepth > 0) {
        return true;
    }
    std::vector<Change> changes;
    changes.swap(m_ini.m_pending);
    return m_ini.ApplyChanges(changes);
}

bool CIniFile::GetStruct(const std::string& section, const std::string& key, void* buffer,
                         size_t size) const {
    // The record is read whole: the 260-byte rule is for text values and
    // would cut any record above 128 bytes.
    const std::string* value = Lookup(section, key);
    if (!value || size > (std::numeric_limits<size_t>::max() - 2) / 2 ||
        value->size() != size * 2 + 2) {
        return false;
    }
    const std::string& text = *value;
    auto hex = [](char c) -> int {
        if (c >= '0' && c <= '9') {
            return c - '0';
        }
        if (c >= 'A' && c <= 'F') {
            return c - 'A' + 10;
        }
        if (c >= 'a' && c <= 'f') {
            return c - 'a' + 10;
        }
        return -1;
    };
    std::vector<unsigned char> bytes(size + 1);
    for (size_t i = 0; i <= size; ++i) {
        int hi = hex(text[2 * i]);
        int lo = hex(text[2 * i + 1]);
        if (hi < 0 || lo < 0) {
            return false;
        }
        bytes[i] = static_cast<unsigned char>(hi * 16 + lo);
    }
    unsigned char sum = 0;
    for (size_t i = 0; i < size; ++i) {
        sum = static_cast<unsigned char>(sum + bytes[i]);
    }
    if (sum != bytes[size]) {
        return false;
    }
    if (size > 0) {
        std::memcpy(buffer, bytes.data(), size);
    }
    return true;
}

bool CIniFile::WriteStruct(const std::string& section, const std::string& key, const void* buffer,
                           size_t size) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    const auto* bytes = static_cast<const unsigned char*>(buffer);
    std::string text;
    text.reserve(size * 2 + 2);
    auto put = [&text](unsigned char b) {
        text += kDigits[b >> 4];
        text += kDigits[b & 0x0F];
    };
    unsigned char sum = 0;
    for (size_t i = 0; i < size; ++i) {
        sum = static_cast<unsigned char>(sum + bytes[i]);
        put(bytes[i]);
    }
    put(sum);
    return WriteString(section, key, text);
}

std::string CIniFile::GetAppDir() {
    const std::string& dir = AppDirOverride();
    if (!dir.empty()) {
        return dir;
    }
    char exe[PATH_MAX];
    ssize_t n = ::readlink("/proc/self/exe", exe, sizeof exe - 1);
    if (n <= 0) {
        return "./";
    }
    std::string path(exe, static_cast<size_t>(n));
    return path.substr(0, path.rfind('/') + 1);
}

void CIniFile::SetAppDir(const std::string& dir) {
    std::string& stored = AppDirOverride();
    stored = dir;
    if (!stored.empty() && stored.back() != '/') {
        stored += '/';
    }
}
