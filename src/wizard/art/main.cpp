// carillon-art: writes the wizard's artwork files at build time, so that no
// image is kept in the source tree.
//   carillon-art PAGE_PICTURE.bmp ICON.png

#include <cstdio>

#include "wizard/art/Artwork.h"

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: carillon-art PAGE_PICTURE.bmp ICON.png\n");
        return 2;
    }
    if (!carillon::art::DrawPagePicture().save(argv[1], "BMP")) {
        std::fprintf(stderr, "carillon-art: cannot write %s\n", argv[1]);
        return 1;
    }
    if (!carillon::art::DrawProgramIcon(128).save(argv[2], "PNG")) {
        std::fprintf(stderr, "carillon-art: cannot write %s\n", argv[2]);
        return 1;
    }
    return 0;
}
