#pragma once
// CPagePicture: the off-screen surface every wizard page is painted into,
// with the page picture "SetupData/Setup.bmp" drawn at its top left. The
// dialog copies the surface to its window in rectangles that spare the live
// control of the page.

#include <QColor>
#include <QImage>
#include <QRect>
#include <optional>
#include <string>
#include <vector>

class QPainter;

namespace carillon {

class CPagePicture {
public:
    CPagePicture(int width, int height);
    virtual ~CPagePicture() = default;
    CPagePicture(const CPagePicture&) = delete;
    CPagePicture& operator=(const CPagePicture&) = delete;

    // False when the surface could not be allocated.
    bool IsValid() const { return !m_image.isNull(); }

    // Loads any picture Qt reads (BMP first of all). On failure the picture
    // is empty and false is returned; nothing is shown.
    bool LoadPicture(const std::string& path);
    // The picture's height in pixels, or -1 without a picture.
    int GetPictureHeight() const;
    // Draws the picture at its natural size with its top left at (x, y).
    void RenderPicture(int x, int y);
    void Fill(const QColor& colour);
    // Copies a rectangle of the surface to (dstX, dstY) of a painter's device.
    void BlitTo(QPainter& target, int srcX, int srcY, int width, int height, int dstX, int dstY) const;

    QImage& Image() { return m_image; }
    const QImage& Image() const { return m_image; }
    int Width() const { return m_nWidth; }
    int Height() const { return m_nHeight; }

private:
    int m_nWidth;
    int m_nHeight;
    QImage m_image;
    QImage m_picture;
};

// One copy of ShowPageOnWindow: a rectangle of the surface to the same place on the window.
using PageCopy = QRect;

// The copies that show a page on the window: without a control the top
// width x pictureHeight; with one, the four bands around it, so the live
// control is never painted over. Copies may reach past the surface's right
// edge; BlitTo clips them.
std::vector<PageCopy> PageCopies(const std::optional<QRect>& control, int width, int pictureHeight);

}  // namespace carillon
