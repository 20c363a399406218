#pragma once
// The wizard's artwork, drawn with QPainter so that no image file is kept in
// the source tree: the page picture beside the text column, the program icon
// and the three images of the printer tree. Every drawing is deterministic.

#include <QImage>

namespace carillon::art {

// The picture on the left of every page: 170 x 350, opaque.
QImage DrawPagePicture();

// The program icon at size x size pixels, transparent around its tile.
QImage DrawProgramIcon(int size);

// The printer tree's images, 16 x 16 with transparency: 0 the wake-up line,
// 1 serial printers, 2 USB printers.
QImage DrawTreeImage(int index);

}  // namespace carillon::art
