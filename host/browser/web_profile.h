// The web profile that every web view of the desktop program shares. Its
// request filter answers each request that the advertising test names at
// once and empty, so that the page shows an empty frame or a missing image
// where the advertisement would have been, never an error page.
#pragma once

#include <string>
#include <vector>

class QWebEngineProfile;

// Makes the empty-reply scheme known to the web engine. The engine reads its
// schemes once, when the application object is made: call this before that.
void RegisterWebSchemes();

// The first call starts the web engine's default profile and installs the
// filter with `adFragments` (the host fragments of IsAdContent); later calls
// return the same profile and keep the first fragments. Needs a
// QApplication and must come before any other web engine object is made.
QWebEngineProfile* SharedWebProfile(const std::vector<std::string>& adFragments);
