// patmatch: the pattern library the plug-ins match site pages with.
//
// The dialect (written in the site's charset):
//   {...}   capture group, numbered by its opening brace from 0
//   (...)   group without capturing; may be followed by ?, * or |
//   (a)|(b) alternates the two groups only, not the whole pattern
//   .       any byte, newlines included
//   * + ?   greedy repetition; *? lazy
//   \d digit   \h hexadecimal digit   \b one blank (space or tab)   \n newline
//   \. \? \( \) \[ \] \\   the literal character
// Everything else stands for itself. Matching is case-sensitive, byte-wise.
//
// A matcher refers to the caller's text without copying: the caller may
// change bytes of the text between FindNext calls (the listing parser cuts
// the first search short with a zero and puts the byte back). The first
// FindNext after Parse measures the text as it is then; later calls notice a
// terminator that was put back and search on to the next zero, but a zero
// written into the text once the search is under way does not end it early.
#pragma once

#include <cstddef>

#define PATMATCH_API __attribute__((visibility("default")))

// The charset patterns and texts are written in. In GBK the second byte of a
// two-byte character may be '\\', '{', '|' and so on; such a pair is one
// literal character.
enum class PatternCharset { Gbk, Utf8, Bytes };

class IParse {
  public:
    // Compiles the pattern (once per process for each distinct pattern and
    // charset) and takes the zero-terminated text. Answers nonzero when the
    // pattern compiled; 0 otherwise.
    virtual int Parse(const char* pattern, const char* text) = 0;
    // Finds the next match after the previous one (the first call finds the
    // first). Answers 0 when there is none, also when a pathological text hit
    // the match limits.
    virtual int FindNext() = 0;
    // Copies capture group `number` of the current match into `buffer`,
    // zero-terminated, at most `size` bytes in all. Answers the bytes copied
    // (without the terminator); an unset group gives an empty text.
    virtual int GetGroup(int number, char* buffer, int size) = 0;

    // The charset of the patterns given to later Parse calls; GBK until set.
    // Texts are matched byte for byte whatever the charset.
    virtual void SetCharset(PatternCharset charset) = 0;

  protected:
    virtual ~IParse() = default;
};

extern "C" {
PATMATCH_API IParse* CreateParse();
PATMATCH_API void DeleteParse(IParse* parser);
}
