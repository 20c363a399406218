// Page painting: the progress bars to the pixel, the monitor version line,
// text that wraps and pushes what follows down, the copy that spares the
// live control, the page picture and the version text.

#include <QPainter>

#include "WizardFixture.h"
#include "wizard/PagePicture.h"
#include "wizard/VersionInfo.h"
#include "wizard/art/Artwork.h"

namespace carillon {
namespace {

const QRgb kWhite = qRgb(255, 255, 255);
const QRgb kBlack = qRgb(0, 0, 0);
const QRgb kBlue = qRgb(49, 106, 197);

class PaintingTest : public testing::WizardTest {
protected:
    QRgb Pixel(int x, int y) { return Dialog().Splash()->Image().pixel(x, y); }
    // The rows of the surface that are black across the whole text column: bar frame edges.
    std::vector<int> FrameRows() {
        std::vector<int> rows;
        for (int y = 0; y < 400; ++y) {
            bool line = true;
            for (int x = 185; x <= 480 && line; ++x) line = Pixel(x, y) == kBlack;
            if (line) rows.push_back(y);
        }
        return rows;
    }
    int DarkPixels(QRect band) {
        int n = 0;
        for (int y = band.top(); y <= band.bottom(); ++y)
            for (int x = band.left(); x <= band.right(); ++x) n += qGray(Pixel(x, y)) < 128;
        return n;
    }
    CThread::View UpdateView(const std::string& status) {
        CThread::View view;
        view.m_strStatus = status;
        view.m_bShowTotal = view.m_bShowProgress = true;
        view.m_strTotal = "Total:   2 of 4";
        view.m_nTotalPercent = 50;
        view.m_strProgress = "Progress: 10 of 10";
        view.m_nProgressPercent = 100;
        return view;
    }
};

TEST_F(PaintingTest, TheBarIsFramedInBlackAndFilledToTheComputedEdge) {
    auto bar = [&](int percent) {
        Dialog().Splash()->Fill(Qt::white);
        Dialog().DrawProgressBar(percent, PageRect{185, 100, 480, 121});
    };
    bar(50);
    // The frame's corners and sides, a white pixel inside it all round, and
    // the fill's right edge: 0.01 in single precision puts it at 332, not 333.
    const std::tuple<int, int, QRgb> pixels[] = {
        {185, 100, kBlack}, {480, 100, kBlack}, {185, 121, kBlack}, {480, 121, kBlack}, {300, 100, kBlack},
        {185, 110, kBlack}, {480, 110, kBlack}, {186, 110, kWhite}, {187, 110, kBlue},  {331, 110, kBlue},
        {332, 110, kWhite}, {200, 101, kWhite}, {200, 102, kBlue},  {200, 119, kBlue},  {200, 120, kWhite}};
    for (auto [x, y, colour] : pixels) EXPECT_EQ(Pixel(x, y), colour) << x << "," << y;
    // Full at 100 % and beyond, empty at 0 % and below.
    for (auto [percent, x, colour] : {std::tuple{100, 477, kBlue}, {100, 478, kWhite}, {250, 477, kBlue},
                                      {250, 478, kWhite}, {0, 187, kWhite}, {-20, 187, kWhite}}) {
        bar(percent);
        EXPECT_EQ(Pixel(x, 110), colour) << percent << " at " << x;
    }
    EXPECT_EQ(ProgressFillRight(25, 185, 480), 259);
}

TEST_F(PaintingTest, WrappedTextPushesTheBarsDown) {
    GoTo(5);
    Dialog().PaintPageFrom(UpdateView("Connected"));
    // The status and the newline's empty line (2 x 23), the bar line's text (18), 5 to the frame.
    const std::vector<int> rows = FrameRows();
    ASSERT_EQ(rows.size(), 4u);
    EXPECT_EQ(rows[0], 20 + 46 + 18 + 5);
    EXPECT_EQ(rows[1], rows[0] + 21);
    EXPECT_EQ(rows[2], rows[0] + 31 + 18);
    EXPECT_EQ(Pixel(331, rows[0] + 5), kBlue);  // Total at 50 %
    EXPECT_EQ(Pixel(477, rows[2] + 5), kBlue);  // Progress at 100 %

    Dialog().PaintPageFrom(UpdateView("Writing the firmware elements into the flash of the printer, one by one"));
    const std::vector<int> pushed = FrameRows();
    ASSERT_EQ(pushed.size(), 4u);
    EXPECT_GE(pushed[0] - rows[0], 23);
    EXPECT_EQ((pushed[0] - rows[0]) % 23, 0);
    EXPECT_EQ(pushed[2] - pushed[0], rows[2] - rows[0]);
    EXPECT_EQ(DarkPixels(QRect(170, 20, 15, 100)) + DarkPixels(QRect(481, 20, 19, 100)), 0);  // inside the column

    CThread::View connecting = UpdateView("Connecting...");
    connecting.m_bShowTotal = false;  // only the Progress line until connected
    Dialog().PaintPageFrom(connecting);
    EXPECT_EQ(FrameRows().size(), 2u);
}

TEST_F(PaintingTest, TheMonitorVersionLineNeedsANonZeroByte) {
    GoTo(5);
    // Right-aligned, its bottom 20 pixels above the picture's bottom (350).
    const QRect line(185, 350 - 20 - 14, 480 - 185, 14);
    CThread::View view = UpdateView("Connected");
    Dialog().PaintPageFrom(view);
    EXPECT_EQ(DarkPixels(line), 0);
    view.m_byMonitorVersion[1] = 0x01;
    Dialog().PaintPageFrom(view);
    EXPECT_GT(DarkPixels(line), 100);
    EXPECT_EQ(DarkPixels(QRect(185, line.top(), 40, line.height())), 0);
    EXPECT_EQ(DarkPixels(QRect(185, line.bottom() + 1, 295, 10)), 0);
}

TEST_F(PaintingTest, NoPagesTextReachesItsControl) {
    constexpr int kGap = 6;  // the least white between the text's ink and a control
    for (int page : {2, 3, 4}) {
        SCOPED_TRACE(page);
        GoTo(page);
        const QRect control = page == 2 ? TreeWidget()->geometry() : Edit()->geometry();
        EXPECT_LE(Dialog().TextBottom(), control.top());
        EXPECT_EQ(DarkPixels(QRect(185, control.top() - kGap, 296, kGap + control.height())), 0);
    }
}

TEST_F(PaintingTest, TheCopyToTheWindowSparesTheLiveControl) {
    EXPECT_EQ(PageCopies(std::nullopt, 500, 350), (std::vector<PageCopy>{QRect(0, 0, 500, 350)}));
    GoTo(3);
    const std::vector<PageCopy> copies = Dialog().LastCopies();
    EXPECT_EQ(copies, (std::vector<PageCopy>{QRect(0, 0, 500, 100), QRect(0, 123, 500, 227), QRect(0, 100, 174, 23),
                                             QRect(490, 100, 500, 23)}));
    QImage window(500, 400, QImage::Format_RGB32);
    window.fill(Qt::red);
    QPainter painter(&window);
    for (const PageCopy& c : copies) Dialog().Splash()->BlitTo(painter, c.x(), c.y(), c.width(), c.height(), c.x(), c.y());
    painter.end();
    for (auto [x, y] : {std::pair{173, 110}, {490, 110}, {300, 123}, {10, 200}}) EXPECT_EQ(window.pixel(x, y), Pixel(x, y));
    EXPECT_EQ(window.pixel(300, 110), qRgb(255, 0, 0));  // the control's place
    EXPECT_EQ(window.pixel(300, 360), qRgb(255, 0, 0));  // below the picture: the dialog's own
}

TEST_F(PaintingTest, ThePagePictureLoadsOrLeavesThePagesWithoutOne) {
    CPagePicture picture(500, 400);
    ASSERT_TRUE(picture.LoadPicture(Path("SetupData/Setup.bmp")));
    EXPECT_EQ(picture.GetPictureHeight(), 350);
    picture.RenderPicture(0, 0);
    EXPECT_EQ(picture.Image().pixel(10, 10), art::DrawPagePicture().pixel(10, 10));
    EXPECT_FALSE(picture.LoadPicture(m_dir.Write("not-a-picture.bmp", "BM but not really")));
    EXPECT_EQ(picture.GetPictureHeight(), -1);

    // Without one the pages are laid out for a picture 350 pixels high.
    std::filesystem::remove(Path("SetupData/Setup.bmp"));
    GoTo(2);
    EXPECT_EQ(Dialog().Splash()->GetPictureHeight(), -1);
    EXPECT_EQ(TreeWidget()->geometry(), QRect(174, 100, 316, 240));
    EXPECT_EQ(Dialog().LastCopies().at(1), QRect(0, 340, 500, 10));
    EXPECT_EQ(Pixel(10, 10), kWhite);
}

TEST(VersionText, DropsTrailingZeroPartsAndRefusesMalformedText) {
    // Text that is not one to four 16-bit parts gives no version at all.
    for (auto [text, shown] : {std::pair{"1.0.0.0", "1.0"}, {"1.0.3.0", "1.0.3"}, {"1.0.0.7", "1.0.0.7"}, {"2", "2.0"},
                               {"", ""}, {"1.", ""}, {"1..2", ""}, {"1.0.0.0.1", ""}, {"65536.0", ""}, {"1.0-beta", ""}})
        EXPECT_EQ(CVersionInfo(text).FormatVersion(), shown) << text;
}

}  // namespace
}  // namespace carillon
