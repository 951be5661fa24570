// CWebHistory: the addresses typed into the Browse tab's address box, most
// recent first, kept in kernel/webhistory.ini:
//
//   [Web]
//   Count=<number of entries>
//   0=<most recent address>
//   1=...
//
// The history has no size limit. The form loads it once at start and saves
// it after every address typed.
#pragma once

#include <cstddef>
#include <string>
#include <utility>
#include <vector>

class CWebHistory {
  public:
    // Addresses longer than an INI value reads back whole are not kept: a
    // cut address would lead somewhere else.
    static constexpr size_t kMaxAddressBytes = 259;

    explicit CWebHistory(std::string path) : m_strPath(std::move(path)) {}
    // <home>/kernel/webhistory.ini
    static std::string DefaultPath();

    // Replaces the entries with the file's; a missing file, section or count
    // gives an empty history. Reading stops at the first missing entry, so a
    // damaged count cannot make it run on.
    void Load();
    // Puts `address` at the top, removing an equal entry lower down. False
    // (nothing changed) for an empty address, one with a line break or NUL,
    // or one longer than kMaxAddressBytes.
    bool Add(const std::string& address);
    // Writes the whole history in one replacement of the file.
    [[nodiscard]] bool Save();

    const std::vector<std::string>& Entries() const { return m_entries; }

  private:
    std::string m_strPath;
    std::vector<std::string> m_entries;
};
