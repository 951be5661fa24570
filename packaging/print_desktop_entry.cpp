// Prints the menu entry for the program named by the first argument, so the
// package installs the same entry the program writes for a single user.
#include <cstdio>

#include "desktop_entry.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s PROGRAM\n", argv[0]);
        return 2;
    }
    std::fputs(desktop_entry::EntryText(argv[1], "").c_str(), stdout);
    return 0;
}
