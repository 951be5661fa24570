#include "open_address.h"

#include <algorithm>
#include <cctype>

namespace {

// Schemes compare without case.
bool HasScheme(std::string_view address, std::string_view scheme) {
    return address.size() >= scheme.size() &&
           std::equal(scheme.begin(), scheme.end(), address.begin(), [](char s, char a) {
               return s == std::tolower(static_cast<unsigned char>(a));
           });
}

}  // namespace

OpenTarget ChooseOpenTarget(std::string_view address, bool bInternalWebOpen,
                            std::string_view currentPage) {
    if (HasScheme(address, "mailto:")) {
        return OpenTarget::kDesktop;
    }
    if (!HasScheme(address, "http://") && !HasScheme(address, "https://")) {
        return OpenTarget::kNothing;
    }
    if (!bInternalWebOpen) {
        return OpenTarget::kDesktop;
    }
    return currentPage == "about:blank" ? OpenTarget::kCurrentPage : OpenTarget::kNewPage;
}
