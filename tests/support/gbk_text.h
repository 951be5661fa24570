// Test pages, patterns and keywords are written in UTF-8 here and reach the
// plug-ins and the matcher in GBK, as the sites serve them.
#pragma once

#include <string>
#include <string_view>

namespace testing_support {

// The GBK bytes of `utf8`; throws std::runtime_error for text GBK cannot hold.
std::string Gbk(std::string_view utf8);

}  // namespace testing_support
