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
#include <string>

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
    bool WriteInt64(const std::string& section, const std::string& key, int64_t value);
    bool WriteString(const std::string& section, const std::string& key, const std::string& text);
    // A binary record of exactly `size` bytes: two hexadecimal digits per byte
    // followed by a checksum byte (the sum of the bytes, modulo 256).
    bool GetStruct(const std::string& section, const std::string& key, void* buffer,
                   size_t size) const;
    bool WriteStruct(const std::string& section, const std::string& key, const void* buffer,
                     size_t size);
    // Removes a key (no-op when absent).
    bool DeleteKey(const std::string& section, const std::string& key);

    // The home folder with a trailing '/' (see SetAppDir).
    static std::string GetAppDir();
    // Set once at start by the program that found the home.
    static void SetAppDir(const std::string& dir);

protected:
    std::string m_strPath;
};
