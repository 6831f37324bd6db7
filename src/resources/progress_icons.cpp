// The installer's icon resources, in the form the platform reads from a program (see
// ICONRESOURCE in coredll/winuser.h): exported from the program under the table's name.
#include "resources/progress_dialog_template.h"

extern "C" {

__attribute__((visibility("default"))) extern const ICONRESOURCE CoreDllIconResources[];

const ICONRESOURCE CoreDllIconResources[] = {
    // the normal icon: an arrow down into a tray
    {stowkit::kNormalIcon,
     "      bbbb      "
     "      bbbb      "
     "      bbbb      "
     "      bbbb      "
     "   bbbbbbbbbb   "
     "    bbbbbbbb    "
     "     bbbbbb     "
     " dd   bbbb   dd "
     " dl    bb    ld "
     " dl          ld "
     " dl          ld "
     " dllllllllllllld"
     " dwwwwwwwwwwwwld"
     " dwwwwwwwwwwwwld"
     " dddddddddddddd "
     "                ",
     " \\V/ \n[___]"},
    // after success: a green tick
    {stowkit::kSuccessIcon,
     "                "
     "              gg"
     "             ggg"
     "            ggg "
     "           ggg  "
     "          ggg   "
     "         ggg    "
     "gg      ggg     "
     "ggg    ggg      "
     " ggg  ggg       "
     "  ggggggg       "
     "   ggggg        "
     "    ggg         "
     "     g          "
     "                "
     "                ",
     "   / \n \\/  "},
    // after failure: a white cross on a red disc
    {stowkit::kFailureIcon,
     "     rrrrrr     "
     "   rrrrrrrrrr   "
     "  rrrrrrrrrrrr  "
     " rrrwwrrrrwwrrr "
     " rrrwwwrrwwwrrr "
     "rrrrrwwwwwwrrrrr"
     "rrrrrrwwwwrrrrrr"
     "rrrrrrwwwwrrrrrr"
     "rrrrrwwwwwwrrrrr"
     "rrrrwwwrrwwwrrrr"
     " rrrwwrrrrwwrrr "
     " rrrrrrrrrrrrrr "
     "  rrrrrrrrrrrr  "
     "   rrrrrrrrrr   "
     "     rrrrrr     "
     "                ",
     " \\ / \n / \\ "},
    {0, nullptr, nullptr},
};

}  // extern "C"
