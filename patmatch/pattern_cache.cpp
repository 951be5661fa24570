#include "pattern_cache.h"

#include <mutex>
#include <string>
#include <unordered_map>

#include "dialect.h"

namespace patmatch {
namespace {

// The plug-ins hold a few dozen fixed patterns. The bound only keeps a caller
// that builds patterns on the fly from growing the cache without end; past it
// patterns are still compiled, just not kept.
constexpr size_t kMaxCachedPatterns = 4096;

std::shared_ptr<const CompiledPattern> Compile(std::string_view pattern, PatternCharset charset) {
    const std::optional<std::string> source = TranslatePattern(pattern, charset);
    if (!source) {
        return nullptr;
    }
    int error = 0;
    PCRE2_SIZE error_offset = 0;
    CodePtr code(pcre2_compile(reinterpret_cast<PCRE2_SPTR>(source->data()), source->size(),
                               PCRE2_DOTALL | PCRE2_NEVER_UTF | PCRE2_NEVER_UCP, &error,
                               &error_offset, nullptr));
    if (!code) {
        return nullptr;
    }
    // Without JIT (an unsupported CPU, or memory that may not be executable)
    // pcre2_match falls back to the interpreter, which is slower but correct.
    pcre2_jit_compile(code.get(), PCRE2_JIT_COMPLETE);

    auto compiled = std::make_shared<CompiledPattern>();
    pcre2_pattern_info(code.get(), PCRE2_INFO_CAPTURECOUNT, &compiled->capture_count);
    compiled->code = std::move(code);
    return compiled;
}

class PatternCache {
  public:
    std::shared_ptr<const CompiledPattern> Get(std::string_view pattern, PatternCharset charset) {
        std::string key;
        key.reserve(pattern.size() + 1);
        key += static_cast<char>(charset);
        key += pattern;

        // Compiling under the lock keeps two threads from compiling the same
        // pattern twice; compiles happen once per pattern, so the wait is rare.
        std::lock_guard lock(mutex_);
        if (auto it = patterns_.find(key); it != patterns_.end()) {
            return it->second;
        }
        std::shared_ptr<const CompiledPattern> compiled = Compile(pattern, charset);
        if (patterns_.size() < kMaxCachedPatterns) {
            patterns_.emplace(std::move(key), compiled);
        }
        return compiled;
    }

  private:
    std::mutex mutex_;
    // A pattern that failed to compile is kept as null, so it fails fast.
    std::unordered_map<std::string, std::shared_ptr<const CompiledPattern>> patterns_;
};

}  // namespace

std::shared_ptr<const CompiledPattern> GetCompiledPattern(std::string_view pattern,
                                                          PatternCharset charset) {
    static PatternCache cache;
    return cache.Get(pattern, charset);
}

}  // namespace patmatch
