#include "gbk_text.h"

#include <iconv.h>

#include <memory>
#include <stdexcept>

namespace testing_support {

std::string Gbk(std::string_view utf8) {
    const iconv_t handle = iconv_open("GBK", "UTF-8");
    if (handle == reinterpret_cast<iconv_t>(-1)) {
        throw std::runtime_error("iconv cannot convert UTF-8 to GBK");
    }
    const std::unique_ptr<void, int (*)(iconv_t)> closer(handle, iconv_close);
    std::string in(utf8);
    std::string out(utf8.size() * 2 + 1, '\0');
    char* source = in.data();
    char* target = out.data();
    size_t sourceLeft = in.size();
    size_t targetLeft = out.size();
    if (iconv(handle, &source, &sourceLeft, &target, &targetLeft) == static_cast<size_t>(-1)) {
        throw std::runtime_error("text has no GBK form: " + in);
    }
    out.resize(out.size() - targetLeft);
    return out;
}

}  // namespace testing_support
