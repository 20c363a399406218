#include "wizard/PagePicture.h"

#include <QImageReader>
#include <QPainter>

namespace carillon {

CPagePicture::CPagePicture(int width, int height)
    : m_nWidth(width), m_nHeight(height), m_image(width, height, QImage::Format_RGB32) {}

bool CPagePicture::LoadPicture(const std::string& path) {
    m_picture = QImage();
    QImageReader reader(QString::fromStdString(path));
    reader.setAutoTransform(false);
    QImage loaded;
    if (!reader.read(&loaded)) return false;
    m_picture = std::move(loaded);
    return true;
}

int CPagePicture::GetPictureHeight() const { return m_picture.isNull() ? -1 : m_picture.height(); }

void CPagePicture::RenderPicture(int x, int y) {
    if (m_picture.isNull() || m_image.isNull()) return;
    QPainter p(&m_image);
    p.drawImage(QPoint(x, y), m_picture);
}

void CPagePicture::Fill(const QColor& colour) {
    if (!m_image.isNull()) m_image.fill(colour);
}

void CPagePicture::BlitTo(QPainter& target, int srcX, int srcY, int width, int height, int dstX, int dstY) const {
    const QRect wanted(srcX, srcY, width, height);
    const QRect source = wanted.intersected(m_image.rect());
    if (source.isEmpty()) return;
    const QPoint destination(dstX + source.x() - srcX, dstY + source.y() - srcY);
    // A plain copy: no blending with what the window held before.
    const QPainter::CompositionMode mode = target.compositionMode();
    target.setCompositionMode(QPainter::CompositionMode_Source);
    target.drawImage(destination, m_image, source);
    target.setCompositionMode(mode);
}

std::vector<PageCopy> PageCopies(const std::optional<QRect>& control, int width, int pictureHeight) {
    if (!control) return {PageCopy(0, 0, width, pictureHeight)};
    // Edges as the dialog names them: right and bottom are exclusive.
    const int left = control->x(), top = control->y();
    const int right = control->x() + control->width(), bottom = control->y() + control->height();
    return {
        PageCopy(0, 0, width, top),
        PageCopy(0, bottom, width, pictureHeight - bottom),
        PageCopy(0, top, left, bottom - top),
        PageCopy(right, top, width, bottom - top),
    };
}

}  // namespace carillon
