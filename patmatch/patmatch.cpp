#include "patmatch.h"

#include <algorithm>
#include <cstring>
#include <exception>
#include <memory>
#include <new>

#include "pattern_cache.h"

namespace patmatch {
namespace {

// Bounds on one search, so that a page whose rows almost match (a site that
// changed its markup a little) ends the search instead of hanging the caller:
// lazy patterns then backtrack over the whole rest of the page. A correct row
// of any site costs a small fraction of these.
constexpr uint32_t kMatchLimit = 1'000'000;
// Only the interpreter (no JIT) counts depth and heap.
constexpr uint32_t kDepthLimit = 100'000;
constexpr uint32_t kHeapLimitKiB = 64 * 1024;

// PCRE2's JIT code runs on 32 KiB of the machine stack by default; a pattern
// that needs more gets a stack of its own, growing to this size.
constexpr PCRE2_SIZE kJitStackStart = 64 * 1024;
constexpr PCRE2_SIZE kJitStackMax = 4 * 1024 * 1024;

struct MatchDataDeleter {
    void operator()(pcre2_match_data* data) const { pcre2_match_data_free(data); }
};
struct MatchContextDeleter {
    void operator()(pcre2_match_context* context) const { pcre2_match_context_free(context); }
};
struct JitStackDeleter {
    void operator()(pcre2_jit_stack* stack) const { pcre2_jit_stack_free(stack); }
};
using MatchDataPtr = std::unique_ptr<pcre2_match_data, MatchDataDeleter>;
using MatchContextPtr = std::unique_ptr<pcre2_match_context, MatchContextDeleter>;
using JitStackPtr = std::unique_ptr<pcre2_jit_stack, JitStackDeleter>;

class Parser final : public IParse {
  public:
    int Parse(const char* pattern, const char* text) override {
        Reset();
        if (pattern == nullptr || text == nullptr) {
            return 0;
        }
        try {
            std::shared_ptr<const CompiledPattern> compiled = GetCompiledPattern(pattern, charset_);
            if (!compiled || !PrepareMatch(compiled)) {
                return 0;
            }
        } catch (const std::exception&) {
            return 0;
        }
        text_ = text;
        searching_ = true;
        measured_ = false;
        return 1;
    }

    int FindNext() override {
        matched_ = false;
        if (!searching_) {
            return 0;
        }
        // Callers cut the search for the first row short with a zero, written
        // before or after Parse, and put the byte back once that row is found:
        // the text is measured for the first search, and later only where it
        // ended, so a page of fifty rows is not scanned fifty times over.
        if (!measured_) {
            end_ = std::strlen(text_);
            measured_ = true;
        } else if (text_[end_] != '\0') {
            end_ += std::strlen(text_ + end_);
        }
        // After an empty match the search must move on, or it would find the
        // same empty match again.
        const uint32_t options = last_empty_ ? PCRE2_NOTEMPTY_ATSTART : 0;
        int rc = Match(options);
        if (rc == PCRE2_ERROR_JIT_STACKLIMIT && AttachJitStack()) {
            rc = Match(options);
        }
        // No match, the limits, or an error: either way there are no more rows.
        if (rc < 0) {
            searching_ = false;
            return 0;
        }
        const PCRE2_SIZE* ovector = pcre2_get_ovector_pointer(match_data_.get());
        next_ = ovector[1];
        last_empty_ = ovector[0] == ovector[1];
        matched_ = true;
        return 1;
    }

    int GetGroup(int number, char* buffer, int size) override {
        if (buffer == nullptr || size <= 0) {
            return 0;
        }
        buffer[0] = '\0';
        if (!matched_ || number < 0 || static_cast<uint32_t>(number) >= pattern_->capture_count) {
            return 0;
        }
        // Dialect group n is PCRE2 group n + 1; group 0 is the whole match.
        const PCRE2_SIZE* ovector = pcre2_get_ovector_pointer(match_data_.get());
        const PCRE2_SIZE begin = ovector[2 * (number + 1)];
        const PCRE2_SIZE end = ovector[2 * (number + 1) + 1];
        if (begin == PCRE2_UNSET || end < begin) {
            return 0;
        }
        const size_t length = std::min<size_t>(end - begin, static_cast<size_t>(size) - 1);
        std::memcpy(buffer, text_ + begin, length);
        buffer[length] = '\0';
        return static_cast<int>(length);
    }

    void SetCharset(PatternCharset charset) override { charset_ = charset; }

  private:
    void Reset() {
        text_ = nullptr;
        searching_ = false;
        end_ = 0;
        next_ = 0;
        last_empty_ = false;
        matched_ = false;
    }

    bool PrepareMatch(const std::shared_ptr<const CompiledPattern>& compiled) {
        if (!context_) {
            context_.reset(pcre2_match_context_create(nullptr));
            if (!context_) {
                return false;
            }
            pcre2_set_match_limit(context_.get(), kMatchLimit);
            pcre2_set_depth_limit(context_.get(), kDepthLimit);
            pcre2_set_heap_limit(context_.get(), kHeapLimitKiB);
        }
        if (compiled != pattern_) {
            pattern_.reset();
            match_data_.reset(pcre2_match_data_create_from_pattern(compiled->code.get(), nullptr));
            if (!match_data_) {
                return false;
            }
            pattern_ = compiled;
        }
        return true;
    }

    int Match(uint32_t options) {
        return pcre2_match(pattern_->code.get(), reinterpret_cast<PCRE2_SPTR>(text_), end_, next_,
                           options, match_data_.get(), context_.get());
    }

    bool AttachJitStack() {
        if (jit_stack_) {
            return false;
        }
        jit_stack_.reset(pcre2_jit_stack_create(kJitStackStart, kJitStackMax, nullptr));
        if (!jit_stack_) {
            return false;
        }
        pcre2_jit_stack_assign(context_.get(), nullptr, jit_stack_.get());
        return true;
    }

    PatternCharset charset_ = PatternCharset::Gbk;
    std::shared_ptr<const CompiledPattern> pattern_;
    MatchDataPtr match_data_;
    MatchContextPtr context_;
    JitStackPtr jit_stack_;
    const char* text_ = nullptr;
    PCRE2_SIZE end_ = 0;  // where the text ended at the last look
    PCRE2_SIZE next_ = 0;
    bool searching_ = false;
    bool measured_ = false;
    bool last_empty_ = false;
    bool matched_ = false;
};

}  // namespace
}  // namespace patmatch

IParse* CreateParse() {
    return new (std::nothrow) patmatch::Parser();
}

void DeleteParse(IParse* parser) {
    delete static_cast<patmatch::Parser*>(parser);
}
