// The advertising test that keeps advertising out of the embedded pages: the
// request filter of every embedded browser refuses the addresses it names,
// and the ad-removal script asks it about the frames, images and plug-in
// objects of every page loaded in the Browse tab.
#pragma once

#include <string>
#include <string_view>
#include <vector>

class CIniFile;

// True when `url` holds "http://" and also "/ad" or one of the host
// `fragments`. Case-sensitive substring tests anywhere in the address; empty
// fragments are ignored, because they would name every address.
bool IsAdContent(std::string_view url, const std::vector<std::string>& fragments);

// The fragments of a configuration value: separated by blanks or commas.
// An empty value gives the built-in list.
std::vector<std::string> ParseAdFragments(std::string_view text);
// The fragments configured in `ini` (global.ini).
std::vector<std::string> LoadAdFragments(const CIniFile& ini);

// The JavaScript run in a page once it has loaded. It gives the page
// `external.gbIsAdContent(url)`, which answers the same test as IsAdContent
// with `fragments` and false for a missing or non-string argument, and
// replaces every iframe, img, embed and object whose address is advertising
// by an empty <AD> element. A relative address is taken relative to the
// page's folder. It also silences the page's script errors, as the page is
// of no use to the user once they pop up.
std::string AdRemovalScript(const std::vector<std::string>& fragments);
