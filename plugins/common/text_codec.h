// Conversion between the site's charset and UTF-8 (iconv).
#pragma once

#include <iconv.h>

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>

class TextConverter {
  public:
    // Converts from `from` to `to` (iconv names). `replacement` stands for
    // every byte that starts no valid or no representable character.
    TextConverter(const char* to, const char* from, std::string_view replacement);
    TextConverter(const TextConverter&) = delete;
    TextConverter& operator=(const TextConverter&) = delete;

    // False when iconv knows one of the two charsets not.
    bool Valid() const { return handle_ != nullptr; }

    // Appends the converted text to `out`. A character cut by the end of the
    // input (a title cut at a byte count) is dropped, never half written.
    void Append(std::string_view in, std::string& out);
    std::string Convert(std::string_view in) {
        std::string out;
        Append(in, out);
        return out;
    }

  private:
    struct Closer {
        void operator()(void* handle) const { iconv_close(static_cast<iconv_t>(handle)); }
    };

    std::unique_ptr<void, Closer> handle_;
    std::string replacement_;
    // ASCII stands for itself in both charsets, so ASCII text is copied.
    bool asciiCompatible_ = false;
};

inline constexpr std::string_view kUtf8Replacement = "\xEF\xBF\xBD";

// Site text to UTF-8.
inline std::unique_ptr<TextConverter> MakeFromSite(const std::string& charset) {
    return std::make_unique<TextConverter>("UTF-8", charset.c_str(), kUtf8Replacement);
}
// UTF-8 to site text.
inline std::unique_ptr<TextConverter> MakeToSite(const std::string& charset) {
    return std::make_unique<TextConverter>(charset.c_str(), "UTF-8", "?");
}
