#pragma once
// The descriptive fields a file name in the TOSEC style tells:
// "Title (Year)(Publisher)(System)…(Disk 1 of 3)…[flags].ext".
#include <string>
#include <string_view>

struct TosecName {
    std::string title;     // before the first " (" (the whole stem when there is none)
    std::string year;      // the first group when it looks like a year ("1992", "199x", "1992-04-01" gives 1992)
    std::string publisher; // the group after the year ("-" means unknown: empty)
    std::string system;    // a later group that is not a disk, language or country note
    std::string disk;      // "Disk 1 of 3" (also "Side A"), empty when none
};

// Takes a file name (a folder part and the extension are dropped) in UTF-8.
TosecName ParseTosecName(std::string_view fileName);
