// The open-address rule: where a web address from the lists, the site menu
// or a page opens.
#pragma once

#include <string_view>

enum class OpenTarget {
    kNothing,      // not an address the program hands on
    kCurrentPage,  // the Browse tab's current page, which is blank
    kNewPage,      // a new page of the Browse tab
    kDesktop,      // the desktop's opener (web browser or mail program)
};

// `bInternalWebOpen` is the InternalWebOpen option; `currentPage` is the
// address the Browse tab's current page shows. Web addresses (http, https)
// open in the Browse tab when the option is on, reusing its page while it
// shows exactly "about:blank", and on the desktop otherwise; mail addresses
// always go to the desktop. Any other scheme opens nothing: the addresses
// come from the index sites, and the desktop's opener would hand a local
// file or an unknown scheme to whatever program claims it.
OpenTarget ChooseOpenTarget(std::string_view address, bool bInternalWebOpen,
                            std::string_view currentPage);
