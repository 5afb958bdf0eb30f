// The program icon: a download arrow on a blue tile, as XPM lines.
#include "updater/module_resources.h"

namespace zarn {

extern const char* const kProgramIconXpm[];
const char* const kProgramIconXpm[] = {
    "32 32 3 1",
    ". c None",
    "b c #2463B0",
    "w c #FFFFFF",
    "................................",
    "....bbbbbbbbbbbbbbbbbbbbbbbb....",
    "..bbbbbbbbbbbbbbbbbbbbbbbbbbbb..",
    "..bbbbbbbbbbbbbbbbbbbbbbbbbbbb..",
    ".bbbbbbbbbbbbbbbbbbbbbbbbbbbbbb.",
    ".bbbbbbbbbbbbbbbbbbbbbbbbbbbbbb.",
    ".bbbbbbbbbbbbwwwwwwbbbbbbbbbbbb.",
    ".bbbbbbbbbbbbwwwwwwbbbbbbbbbbbb.",
    ".bbbbbbbbbbbbwwwwwwbbbbbbbbbbbb.",
    ".bbbbbbbbbbbbwwwwwwbbbbbbbbbbbb.",
    ".bbbbbbbbbbbbwwwwwwbbbbbbbbbbbb.",
    ".bbbbbbbbbbbbwwwwwwbbbbbbbbbbbb.",
    ".bbbbbbbbbbbbwwwwwwbbbbbbbbbbbb.",
    ".bbbbbbbbbbbbwwwwwwbbbbbbbbbbbb.",
    ".bbbbbbbbbbbbwwwwwwbbbbbbbbbbbb.",
    ".bbbbbbbbbbbbwwwwwwbbbbbbbbbbbb.",
    ".bbbbbbbbbbbbwwwwwwbbbbbbbbbbbb.",
    ".bbbbbbbbbbbbwwwwwwbbbbbbbbbbbb.",
    ".bbbbbbbbwwwwwwwwwwwwwwbbbbbbbb.",
    ".bbbbbbbbbwwwwwwwwwwwwbbbbbbbbb.",
    ".bbbbbbbbbbwwwwwwwwwwbbbbbbbbbb.",
    ".bbbbbbbbbbbwwwwwwwwbbbbbbbbbbb.",
    ".bbbbbbbbbbbbwwwwwwbbbbbbbbbbbb.",
    ".bbbbbbbbbbbbbwwwwbbbbbbbbbbbbb.",
    ".bbbbbbbbbbbbbbwwbbbbbbbbbbbbbb.",
    ".bbbbbbbbbbbbbbbbbbbbbbbbbbbbbb.",
    ".bbbbbbbwwwwwwwwwwwwwwwwbbbbbbb.",
    ".bbbbbbbwwwwwwwwwwwwwwwwbbbbbbb.",
    "..bbbbbbbbbbbbbbbbbbbbbbbbbbbb..",
    "..bbbbbbbbbbbbbbbbbbbbbbbbbbbb..",
    "....bbbbbbbbbbbbbbbbbbbbbbbb....",
    "................................",
};

}  // namespace zarn
