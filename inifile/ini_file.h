// CIniFile: the private-profile (INI) file every settings file goes through:
// kernel/global.ini, kernel/dllmgr.ini, kernel/webhistory.ini.
//
// Reading follows the Windows private-profile rules (a missing key gives the
// default, values are read into 260-byte buffers, integers take their leading
// digits). Text is UTF-8. Every write re-reads the file, changes the one key
// and replaces the file atomically (temporary file, then rename) under an
// advisory lock, so a crash never leaves a damaged file and two writers of
// different sections never lose each other's keys.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

class CIniFile {
  public:
    CIniFile() = default;
    explicit CIniFile(std::string path) : m_strPath(std::move(path)) {}
    virtual ~CIniFile() = default;

    void SetPath(std::string path) { m_strPath = std::move(path); }
    const std::string& GetPath() const { return m_strPath; }

    // At most 259 bytes (cut at a UTF-8 character boundary); a missing key
    // gives the empty string. Answers the number of bytes read.
    int GetString(const std::string& section, const std::string& key, std::string& out) const;
    // The value parsed as a decimal 64-bit integer (leading digits; text that
    // is not a number gives 0); the default when the key is missing or empty.
    int64_t GetInt64(const std::string& section, const std::string& key,
                     int64_t defaultValue) const;
    // Writes refuse (answer false, file untouched) a section or key that is
    // empty, holds a line break, NUL, '=' (keys) or ']' (sections), or starts
    // with a comment character ';', and a value with a line break or NUL: any
    // of these would change the file's structure. Names are compared without
    // case and without surrounding blanks, as Windows does.
    //
    // A value with leading or trailing blanks, or one that starts and ends
    // with the same quote character, is written inside double quotes, which
    // reading strips again, so every writable value reads back unchanged.
    [[nodiscard]] bool WriteInt64(const std::string& section, const std::string& key,
                                  int64_t value);
    [[nodiscard]] bool WriteString(const std::string& section, const std::string& key,
                                   const std::string& text);
    // A binary record of exactly `size` bytes: two hexadecimal digits per byte
    // followed by a checksum byte (the sum of the bytes, modulo 256).
    bool GetStruct(const std::string& section, const std::string& key, void* buffer,
                   size_t size) const;
    [[nodiscard]] bool WriteStruct(const std::string& section, const std::string& key,
                                   const void* buffer, size_t size);
    // Removes a key (no-op when absent).
    [[nodiscard]] bool DeleteKey(const std::string& section, const std::string& key);

    // Reading takes a file that cannot be read for a missing one (every key
    // at its default). False, with a sentence in strReason, when the file
    // exists but cannot be read: a folder in its place, no permission, an
    // I/O error.
    [[nodiscard]] bool IsReadable(std::string& strReason) const;

    // Holds back the writes made through `ini` while it lives and then makes
    // them all in one replacement of the file (still re-read under the lock
    // first), so saving many keys costs one write. Batches nest; the
    // outermost one writes. Reads meanwhile see the file without the held
    // writes. A batch that ends without Commit writes as it goes away and
    // its failure is lost: callers that must know call Commit.
    class Batch {
      public:
        explicit Batch(CIniFile& ini) : m_ini(ini) { ++m_ini.m_nBatchDepth; }
        ~Batch() { static_cast<void>(Commit()); }
        Batch(const Batch&) = delete;
        Batch& operator=(const Batch&) = delete;
        // Ends the batch now and writes (unless an outer batch still holds
        // the writes); false when the file could not be written.
        [[nodiscard]] bool Commit();

      private:
        CIniFile& m_ini;
        bool m_bEnded = false;
    };

    // The home folder with a trailing '/' (see SetAppDir).
    static std::string GetAppDir();
    // Set once at start by the program that found the home; an empty folder
    // goes back to the folder of the executable.
    static void SetAppDir(const std::string& dir);

  protected:
    std::string m_strPath;

  private:
    struct Snapshot;
    struct Change {
        std::string section;
        std::string key;
        std::string line;  // the key's new line; empty to delete the key
    };
    // The whole stored value (quotes stripped), or null when the key or the
    // file is missing.
    const std::string* Lookup(const std::string& section, const std::string& key) const;
    // Queues the change in a batch, or makes it at once.
    bool Update(Change change);
    // Re-reads the file under the writers' lock, makes the changes in order
    // and replaces the file when anything changed.
    bool ApplyChanges(const std::vector<Change>& changes);

    // The parsed file of the last read, reused while the file on disk is
    // unchanged; a configuration load asks for hundreds of keys.
    mutable std::shared_ptr<Snapshot> m_snapshot;
    int m_nBatchDepth = 0;
    std::vector<Change> m_pending;
};
