#include "wizard/art/Artwork.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>

namespace carillon::art {
namespace {

const QColor kNavy(16, 41, 79);
const QColor kBlue(49, 106, 197);  // the progress bars' blue, so the page reads as one
const QColor kGoldLight(246, 214, 128);
const QColor kGoldDark(196, 140, 34);
const QColor kGoldEdge(128, 86, 16);

// A bell whose crown is at (cx, top), w wide and h tall (the clapper included).
void DrawBell(QPainter& p, qreal cx, qreal top, qreal w, qreal h) {
    auto x = [&](qreal f) { return cx + f * w; };
    auto y = [&](qreal f) { return top + f * h; };
    QPainterPath body;
    body.moveTo(x(-0.22), y(0.14));
    body.cubicTo(x(-0.24), y(0.45), x(-0.30), y(0.62), x(-0.38), y(0.76));
    body.cubicTo(x(-0.44), y(0.84), x(-0.50), y(0.85), x(-0.50), y(0.88));
    body.lineTo(x(0.50), y(0.88));
    body.cubicTo(x(0.50), y(0.85), x(0.44), y(0.84), x(0.38), y(0.76));
    body.cubicTo(x(0.30), y(0.62), x(0.24), y(0.45), x(0.22), y(0.14));
    body.cubicTo(x(0.20), y(0.01), x(-0.20), y(0.01), x(-0.22), y(0.14));
    body.closeSubpath();

    QLinearGradient shade(x(-0.5), 0, x(0.5), 0);
    shade.setColorAt(0.0, kGoldDark);
    shade.setColorAt(0.35, kGoldLight);
    shade.setColorAt(1.0, kGoldDark);
    p.setPen(QPen(kGoldEdge, qMax<qreal>(0.8, w / 30.0)));
    p.setBrush(shade);
    p.drawEllipse(QPointF(cx, y(0.93)), 0.09 * w, 0.09 * w);  // clapper, behind the lip
    p.drawPath(body);
    // The lip's rim catches the light.
    p.setPen(QPen(QColor(255, 240, 200, 170), qMax<qreal>(0.8, w / 40.0)));
    p.drawLine(QPointF(x(-0.40), y(0.82)), QPointF(x(0.40), y(0.82)));
}

// A receipt printer, w wide, with paperLength (in widths) of paper out of
// it: origin at its body's top left.
void DrawPrinter(QPainter& p, qreal left, qreal top, qreal w, qreal paperLength, bool withPaperLines) {
    const qreal h = w * 0.5;
    const qreal slotY = top + h * 0.12;

    // Shadow under the printer.
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0, 0, 0, 55));
    p.drawEllipse(QPointF(left + w / 2, top + h + h * 0.12), w * 0.55, h * 0.1);

    // Body.
    QLinearGradient metal(0, top, 0, top + h);
    metal.setColorAt(0.0, QColor(248, 250, 253));
    metal.setColorAt(1.0, QColor(190, 201, 217));
    p.setPen(QPen(QColor(110, 124, 148), qMax<qreal>(0.8, w / 90.0)));
    p.setBrush(metal);
    p.drawRoundedRect(QRectF(left, top, w, h), h * 0.16, h * 0.16);

    // Front panel: a seam, a key and a green light.
    p.setPen(QPen(QColor(150, 162, 182), qMax<qreal>(0.6, w / 120.0)));
    p.drawLine(QPointF(left + w * 0.04, top + h * 0.62), QPointF(left + w * 0.96, top + h * 0.62));
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(140, 152, 171));
    p.drawRoundedRect(QRectF(left + w * 0.64, top + h * 0.74, w * 0.12, h * 0.11), 1.5, 1.5);
    QRadialGradient glow(QPointF(left + w * 0.86, top + h * 0.8), w * 0.06);
    glow.setColorAt(0.0, QColor(120, 240, 150));
    glow.setColorAt(0.5, QColor(50, 200, 100));
    glow.setColorAt(1.0, QColor(50, 200, 100, 0));
    p.setBrush(glow);
    p.drawEllipse(QPointF(left + w * 0.86, top + h * 0.8), w * 0.06, w * 0.06);

    // Paper slot, then the receipt coming out of it.
    p.setBrush(QColor(52, 60, 78));
    p.drawRoundedRect(QRectF(left + w * 0.16, slotY - h * 0.04, w * 0.68, h * 0.08), 2, 2);

    const qreal paperLeft = left + w * 0.26, paperRight = left + w * 0.74;
    const qreal paperTop = slotY - w * paperLength;
    QPainterPath paper;
    paper.moveTo(paperLeft, slotY);
    paper.lineTo(paperLeft, paperTop);
    const int teeth = 7;
    const qreal tooth = (paperRight - paperLeft) / teeth;
    for (int i = 0; i < teeth; ++i) {
        paper.lineTo(paperLeft + (i + 0.5) * tooth, paperTop - tooth * 0.55);
        paper.lineTo(paperLeft + (i + 1) * tooth, paperTop);
    }
    paper.lineTo(paperRight, slotY);
    paper.closeSubpath();
    p.setPen(QPen(QColor(170, 182, 200), qMax<qreal>(0.6, w / 140.0)));
    p.setBrush(Qt::white);
    p.drawPath(paper);

    if (!withPaperLines) return;
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(150, 166, 190));
    const qreal lineH = w * 0.035;
    const qreal lengths[] = {0.80, 0.55, 0.70, 0.40, 0.65};
    for (int i = 0; i < 5; ++i) {
        const qreal ly = paperTop + w * 0.07 + i * w * 0.085;
        p.drawRoundedRect(QRectF(paperLeft + w * 0.05, ly, (paperRight - paperLeft - w * 0.1) * lengths[i], lineH),
                          lineH / 2, lineH / 2);
    }
}

}  // namespace

QImage DrawPagePicture() {
    QImage image(170, 350, QImage::Format_RGB32);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);

    QLinearGradient sky(0, 0, 0, 350);
    sky.setColorAt(0.0, kNavy);
    sky.setColorAt(1.0, kBlue);
    p.fillRect(image.rect(), sky);

    // Rings spreading from below, as a bell's sound would.
    p.setBrush(Qt::NoBrush);
    for (int i = 0; i < 5; ++i) {
        p.setPen(QPen(QColor(255, 255, 255, 14 + 5 * i), 2));
        const qreal r = 80 + 22 * i;
        p.drawEllipse(QPointF(85, 430), r, r);
    }

    // Three bells under a beam.
    p.setPen(QPen(kGoldDark, 3, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(24, 30), QPointF(146, 30));
    p.setPen(QPen(kGoldDark, 1.5));
    for (qreal x : {48.0, 85.0, 122.0}) p.drawLine(QPointF(x, 30), QPointF(x, 40));
    DrawBell(p, 48, 38, 30, 36);
    DrawBell(p, 85, 37, 40, 48);
    DrawBell(p, 122, 38, 30, 36);

    // The update flowing down into the printer.
    p.setPen(Qt::NoPen);
    for (int i = 0; i < 3; ++i) {
        p.setBrush(QColor(255, 255, 255, 70 + 70 * i));
        const qreal y = 104 + 10 * i;
        QPainterPath chevron;
        chevron.moveTo(72, y);
        chevron.lineTo(85, y + 9);
        chevron.lineTo(98, y);
        chevron.lineTo(98, y + 5);
        chevron.lineTo(85, y + 14);
        chevron.lineTo(72, y + 5);
        chevron.closeSubpath();
        p.drawPath(chevron);
    }

    DrawPrinter(p, 25, 218, 120, 0.56, true);
    p.end();
    return image;
}

QImage DrawProgramIcon(int size) {
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(size / 64.0, size / 64.0);

    QLinearGradient tile(0, 2, 0, 62);
    tile.setColorAt(0.0, QColor(64, 124, 216));
    tile.setColorAt(1.0, kNavy);
    p.setPen(QPen(QColor(10, 30, 60), 1));
    p.setBrush(tile);
    p.drawRoundedRect(QRectF(2.5, 2.5, 59, 59), 13, 13);

    DrawBell(p, 32, 5, 30, 27);
    DrawPrinter(p, 12, 40, 40, 0.2, false);
    p.end();
    return image;
}

QImage DrawTreeImage(int index) {
    QImage image(16, 16, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);

    switch (index) {
        case 0: {  // waking up: a small sun
            p.setPen(QPen(QColor(214, 140, 0), 1.4, Qt::SolidLine, Qt::RoundCap));
            for (int i = 0; i < 8; ++i) {
                p.save();
                p.translate(8, 8);
                p.rotate(45 * i);
                p.drawLine(QPointF(0, 4.8), QPointF(0, 7.2));
                p.restore();
            }
            QRadialGradient sun(QPointF(7, 7), 4);
            sun.setColorAt(0, QColor(255, 226, 110));
            sun.setColorAt(1, QColor(242, 169, 0));
            p.setPen(QPen(QColor(185, 120, 0), 1));
            p.setBrush(sun);
            p.drawEllipse(QPointF(8, 8), 3.5, 3.5);
            break;
        }
        case 1: {  // serial: a D-shaped connector with its pins
            QPainterPath shell;
            shell.moveTo(1.5, 4.5);
            shell.lineTo(14.5, 4.5);
            shell.lineTo(12.5, 11.5);
            shell.lineTo(3.5, 11.5);
            shell.closeSubpath();
            QLinearGradient metal(0, 4, 0, 12);
            metal.setColorAt(0, QColor(205, 213, 226));
            metal.setColorAt(1, QColor(128, 140, 160));
            p.setPen(QPen(QColor(62, 72, 92), 1));
            p.setBrush(metal);
            p.drawPath(shell);
            p.setPen(Qt::NoPen);
            p.setBrush(QColor(40, 48, 64));
            for (int i = 0; i < 5; ++i) p.drawEllipse(QPointF(4 + 2 * i, 7), 0.75, 0.75);
            for (int i = 0; i < 4; ++i) p.drawEllipse(QPointF(5 + 2 * i, 9.5), 0.75, 0.75);
            break;
        }
        default: {  // USB: a plug on its cable
            p.setPen(QPen(QColor(50, 58, 74), 2, Qt::SolidLine, Qt::RoundCap));
            p.drawLine(QPointF(8, 13), QPointF(8, 15.5));
            p.setPen(QPen(QColor(30, 36, 48), 1));
            p.setBrush(QColor(70, 80, 100));
            p.drawRoundedRect(QRectF(4.5, 7.5, 7, 6), 1.2, 1.2);
            QLinearGradient metal(4, 0, 12, 0);
            metal.setColorAt(0, QColor(150, 160, 176));
            metal.setColorAt(0.5, QColor(232, 237, 244));
            metal.setColorAt(1, QColor(150, 160, 176));
            p.setPen(QPen(QColor(90, 100, 118), 1));
            p.setBrush(metal);
            p.drawRect(QRectF(3.5, 1.5, 9, 6));
            p.setPen(Qt::NoPen);
            p.setBrush(QColor(60, 68, 84));
            p.drawRect(QRectF(5.5, 3.5, 1.6, 1.6));
            p.drawRect(QRectF(8.9, 3.5, 1.6, 1.6));
            break;
        }
    }
    p.end();
    return image;
}

}  // namespace carillon::art
