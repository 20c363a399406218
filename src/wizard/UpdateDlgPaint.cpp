// Painting the pages: the page picture, the text column on its right, the
// progress bars of the update page, and the copy onto the window.

#include <QFontMetrics>
#include <QLineEdit>
#include <QPaintEvent>
#include <QPainter>
#include <QPushButton>
#include <QTreeWidget>
#include <QTextOption>
#include <algorithm>
#include <cmath>
#include <map>

#include "app/RememberedFiles.h"
#include "app/StringTable.h"
#include "platform/Format.h"
#include "wizard/UpdateDlg.h"

namespace carillon {
namespace {

// The text column, in surface pixels.
constexpr int kColumnLeft = 185;
constexpr int kColumnRight = 480;
constexpr int kFirstTextY = 20;

constexpr int kTitleHeight = 23;
constexpr int kBodyHeight = 14;
// Body text in 13-pixel lines: DejaVu Sans is wider than the face the pages
// were laid out for, so the output page's text takes six lines, and at 14
// pixels a line those would run into its edit box.
constexpr int kBodyTextHeight = 13;
constexpr int kBarLineHeight = 18;
constexpr int kWeightNormal = 400;
constexpr int kWeightBold = 700;

const QColor kBarFill(49, 106, 197);

// Wrapped at word boundaries; a word longer than the column (a path without
// a separator) is broken rather than cut off at the column's edge.
QTextOption ColumnOption() {
    QTextOption option(Qt::AlignLeft | Qt::AlignTop);
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    return option;
}

// The height of text laid out wrapped in the column; later lines start below it.
int ColumnTextHeight(const QFont& font, const QString& text) {
    if (text.isEmpty()) return 0;
    QImage scratch(1, 1, QImage::Format_RGB32);
    QPainter painter(&scratch);
    painter.setFont(font);
    const QRectF column(0, 0, kColumnRight - kColumnLeft, 1 << 20);
    return static_cast<int>(std::ceil(painter.boundingRect(column, text, ColumnOption()).height()));
}

}  // namespace

QFont PageFont(int cellHeight, int weight) {
    static std::map<std::pair<int, int>, int> pixelSizes;  // painting happens on the GUI thread only
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setWeight(static_cast<QFont::Weight>(weight));
    auto known = pixelSizes.find({cellHeight, weight});
    if (known != pixelSizes.end()) {
        font.setPixelSize(known->second);
        return font;
    }
    int size = std::max(cellHeight, 1);
    for (; size > 1; --size) {
        font.setPixelSize(size);
        if (ColumnTextHeight(font, QStringLiteral("Xg")) <= cellHeight) break;
    }
    font.setPixelSize(size);
    pixelSizes[{cellHeight, weight}] = size;
    return font;
}

int ProgressFillRight(int percent, int left, int right) {
    // Single-precision constants in wider arithmetic: 0.01f is a little under
    // 0.01, so whole results fall just short (187, 332 and 478 for a 295-pixel bar).
    const double step = (static_cast<double>(right - left) - static_cast<double>(3.0f)) * static_cast<double>(0.01f);
    return static_cast<int>(left + 2 + percent * step);
}

int CUpdateDlg::LayoutHeight() const {
    const int height = m_pSplash ? m_pSplash->GetPictureHeight() : -1;
    return height > 0 ? height : kLayoutHeightWithoutPicture;
}

void CUpdateDlg::PaintPage() {
    CThread::View view;
    if (m_pThread && (m_nPage == 5 || m_nPage == 6)) view = m_pThread->Snapshot();
    PaintPageFrom(view);
}

void CUpdateDlg::PaintPageFrom(const CThread::View& view) {
    if (!m_pSplash) return;
    m_nTextY = kFirstTextY;
    std::optional<QRect> control;
    const int height = LayoutHeight();

    m_pSplash->Fill(Qt::white);
    m_pSplash->RenderPicture(0, 0);
    switch (m_nPage) {
        case 1:
            DrawTitleText(LoadString(IDS_WELCOME_TITLE) + "\n");
            DrawBodyText(LoadString(IDS_WELCOME_TEXT));
            break;
        case 2:
            DrawTitleText(LoadString(IDS_SELECT_PRINTER) + "\n");
            DrawBodyText(LoadString(IDS_PRESS_F5) + "\n");
            m_tree->setGeometry(174, 100, 316, height - 110);
            control = QRect(QPoint(174, 100), QPoint(489, height - 11));
            break;
        case 3:
        case 4: {
            const bool firmware = m_nPage == 3;
            const int y = firmware ? 100 : 150;
            m_strEdit = m_pRemembered->Get(firmware ? "Firmware File" : "Output Binary");
            DrawTitleText(LoadString(firmware ? IDS_FIRMWARE_TITLE : IDS_OUTPUT_TITLE) + "\n");
            DrawBodyText(LoadString(firmware ? IDS_FIRMWARE_TEXT : IDS_OUTPUT_TEXT));
            m_editFile->setGeometry(174, y, 286, 23);
            m_btnBrowse->setGeometry(460, y, 30, 23);
            control = QRect(174, y, 316, 23);
            break;
        }
        case 5:
            if (view.m_byMonitorVersion[0] != 0 || view.m_byMonitorVersion[1] != 0)
                DrawMonitorVersion(view.m_byMonitorVersion);
            DrawTitleText(view.m_strStatus + "\n");
            if (view.m_bShowTotal) DrawBarLine(view.m_strTotal, view.m_nTotalPercent);
            if (view.m_bShowProgress) DrawBarLine(view.m_strProgress, view.m_nProgressPercent);
            break;
        case 6:
            DrawTitleText(view.m_strResultTitle);
            DrawBodyText(view.m_strResultText);
            break;
        case 7:
            DrawTitleText(LoadString(IDS_CONGRATULATION) + "\n");
            DrawBodyText("");
            break;
        default: break;
    }
    // The edit box shows m_strEdit on every page.
    const QString edit = QString::fromStdString(m_strEdit);
    if (m_editFile->text() != edit) m_editFile->setText(edit);
    ShowPageOnWindow(control);
}

void CUpdateDlg::DrawColumnText(int cellHeight, int weight, const std::string& text) {
    const QFont font = PageFont(cellHeight, weight);
    const QString qtext = QString::fromStdString(text);
    const int height = ColumnTextHeight(font, qtext);
    QPainter painter(&m_pSplash->Image());
    painter.setFont(font);
    painter.setPen(Qt::black);
    painter.drawText(QRectF(kColumnLeft, m_nTextY, kColumnRight - kColumnLeft, height), qtext, ColumnOption());
    m_nTextY += height;
}

void CUpdateDlg::DrawTitleText(const std::string& text) { DrawColumnText(kTitleHeight, kWeightNormal, text); }

void CUpdateDlg::DrawBodyText(const std::string& text) { DrawColumnText(kBodyTextHeight, kWeightNormal, text); }

void CUpdateDlg::DrawBarLine(const std::string& text, int percent) {
    DrawColumnText(kBarLineHeight, kWeightBold, text);
    const int y = m_nTextY;
    DrawProgressBar(percent, PageRect{kColumnLeft, y + 5, kColumnRight, y + 26});
    m_nTextY = y + 31;
}

void CUpdateDlg::DrawMonitorVersion(const std::uint8_t version[2]) {
    const QString text = QString::fromStdString(
        platform::Format("Printer monitor version: %02Xh, %02Xh.", version[0], version[1]));
    const QFont font = PageFont(kBodyHeight, kWeightNormal);
    const int bottom = LayoutHeight() - 20;
    const int height = QFontMetrics(font).boundingRect(QRect(0, 0, kColumnRight - kColumnLeft, 1 << 20),
                                                       Qt::AlignRight | Qt::TextSingleLine, text).height();
    QPainter painter(&m_pSplash->Image());
    painter.setFont(font);
    painter.setPen(Qt::black);
    painter.drawText(QRect(kColumnLeft, bottom - height, kColumnRight - kColumnLeft, height),
                     Qt::AlignRight | Qt::AlignTop | Qt::TextSingleLine, text);
}

void CUpdateDlg::DrawProgressBar(int percent, const PageRect& r) {
    percent = std::clamp(percent, 0, 100);
    QPainter painter(&m_pSplash->Image());
    // The frame: four lines that meet, corners included.
    const int width = r.right - r.left + 1, height = r.bottom - r.top + 1;
    painter.fillRect(QRect(r.left, r.top, width, 1), Qt::black);
    painter.fillRect(QRect(r.left, r.bottom, width, 1), Qt::black);
    painter.fillRect(QRect(r.left, r.top, 1, height), Qt::black);
    painter.fillRect(QRect(r.right, r.top, 1, height), Qt::black);
    // The fill covers left + 2 up to fillRight and top + 2 up to bottom - 1, both exclusive.
    const int fillLeft = r.left + 2, fillRight = ProgressFillRight(percent, r.left, r.right);
    if (fillRight > fillLeft) painter.fillRect(QRect(fillLeft, r.top + 2, fillRight - fillLeft, r.bottom - 3 - r.top), kBarFill);
}

void CUpdateDlg::ShowPageOnWindow(const std::optional<QRect>& control) {
    m_copies = PageCopies(control, kPageWidth, LayoutHeight());
    update();
}

void CUpdateDlg::paintEvent(QPaintEvent* /*event*/) {
    // The surface holds the page as last painted; only the copy happens here.
    if (!m_pSplash) return;
    QPainter painter(this);
    for (const PageCopy& copy : m_copies)
        m_pSplash->BlitTo(painter, copy.x(), copy.y(), copy.width(), copy.height(), copy.x(), copy.y());
}

}  // namespace carillon
