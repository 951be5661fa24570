// What the desktop benchmarks share: a figure printed beside its target, the
// count of missed targets that decides the exit status, and a statement run
// on the catalogue a benchmark builds.
#pragma once

#include <errno.h>
#include <sqlite3.h>

#include <cstdio>
#include <string>

inline int g_nMisses = 0;

// Prints the figure with its target (an upper bound) and counts a miss; the
// wall time goes beside a CPU figure when given.
inline void Report(const char* pszWhat, double dValue, const char* pszUnit, double dTarget,
                   double dWallMs = -1) {
    const bool bMet = dValue <= dTarget;
    std::printf("%-52s %12.2f %-6s target <= %.0f %s  %s", pszWhat, dValue, pszUnit, dTarget,
                pszUnit, bMet ? "ok" : "MISSED");
    if (dWallMs >= 0) {
        std::printf("  (wall %.2f ms)", dWallMs);
    }
    std::printf("\n");
    if (!bMet) {
        ++g_nMisses;
    }
}

inline bool Exec(sqlite3* db, const std::string& sql) {
    char* pszError = nullptr;
    if (sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &pszError) != SQLITE_OK) {
        std::fprintf(stderr, "%s: %s: %s\n", program_invocation_short_name,
                     sql.substr(0, 60).c_str(), pszError);
        sqlite3_free(pszError);
        return false;
    }
    return true;
}
