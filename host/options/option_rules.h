// How the options dialog turns what the user typed into settings, and which
// proxy boxes it offers for a proxy type. The dialog only shows the answers.
#pragma once

#include <string_view>

// The info-tip delay box: blanks at both ends are ignored; an empty box
// keeps `nOldDelay`; otherwise the leading decimal number, where a value
// below 1, a text that is no number and a value too large for the setting
// all give the default of 1000 ms.
int DelayFromText(std::string_view text, int nOldDelay);

// The proxy port box: the leading decimal number; 0 (no port) when the text
// is no number or the number is no port.
int PortFromText(std::string_view text);

struct ProxyControls {
    bool bAddressEnabled = false;      // address and port
    bool bAuthenEnabled = false;       // the "needs authentication" box
    bool bAuthenChecked = false;       // what that box shows
    bool bCredentialsEnabled = false;  // user and password

    friend bool operator==(const ProxyControls&, const ProxyControls&) = default;
};

// Proxy types 0 "None", 1 "Socks4", 2 "Socks4a", 3 "Socks5", 4 "HTTP1.1";
// any other type counts as "None". Only the last two can authenticate: for
// the others the box is cleared, and saving stores the cleared state.
// `bAuthen` is the stored flag, or the box's state when the user ticks it,
// so that ticking it opens user and password at once.
ProxyControls ProxyControlsFor(int nType, bool bAuthen);
