// Page painting: the progress bars to the pixel, the monitor version line,
// text that wraps and pushes what follows down, the copy that spares the
// live control, the page picture and the version text.

#include <QFontMetrics>
#include <QPainter>

#include "WizardFixture.h"
#include "wizard/PagePicture.h"
#include "wizard/VersionInfo.h"

namespace carillon {
namespace {

const QRgb kWhite = qRgb(255, 255, 255);
const QRgb kBlack = qRgb(0, 0, 0);
const QRgb kBlue = qRgb(49, 106, 197);

class PaintingTest : public testing::WizardTest {
protected:
    QRgb Pixel(int x, int y) { return Dialog().Splash()->Image().pixel(x, y); }
    // A bar drawn alone on a white surface, framed as DrawBarLine frames it.
    void Bar(int percent) {
        Dialog().Splash()->Fill(Qt::white);
        Dialog().DrawProgressBar(percent, PageRect{185, 100, 480, 121});
    }
    // Top rows of the bar frames in the text column's left edge, from y on.
    std::vector<int> FrameTops(int fromY) {
        std::vector<int> tops;
        for (int y = fromY; y < 400; ++y) {
            bool line = true;
            for (int x = 185; x <= 480 && line; ++x) line = Pixel(x, y) == kBlack;
            if (line) tops.push_back(y);
        }
        // Each frame has a top and a bottom row; keep the tops.
        std::vector<int> result;
        for (std::size_t i = 0; i < tops.size(); i += 2) result.push_back(tops[i]);
        return result;
    }
    // Dark pixels in a band of the surface.
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

TEST(ProgressArithmetic, WholeResultsFallJustShort) {
    EXPECT_EQ(ProgressFillRight(0, 185, 480), 187);
    EXPECT_EQ(ProgressFillRight(50, 185, 480), 332);
    EXPECT_EQ(ProgressFillRight(100, 185, 480), 478);
    EXPECT_EQ(ProgressFillRight(25, 185, 480), 259);  // 73 short by a hair
    EXPECT_EQ(ProgressFillRight(1, 185, 480), 189);
}

TEST_F(PaintingTest, TheBarIsFramedInBlackAndFilledToTheComputedEdge) {
    Bar(50);
    for (auto [x, y] : {std::pair{185, 100}, {480, 100}, {185, 121}, {480, 121}, {300, 100}, {185, 110}, {480, 110}})
        EXPECT_EQ(Pixel(x, y), kBlack) << x << "," << y;
    EXPECT_EQ(Pixel(186, 110), kWhite);  // a one-pixel gap inside the frame
    EXPECT_EQ(Pixel(187, 110), kBlue);
    EXPECT_EQ(Pixel(331, 110), kBlue);
    EXPECT_EQ(Pixel(332, 110), kWhite);
    EXPECT_EQ(Pixel(200, 101), kWhite);
    EXPECT_EQ(Pixel(200, 102), kBlue);
    EXPECT_EQ(Pixel(200, 119), kBlue);
    EXPECT_EQ(Pixel(200, 120), kWhite);

    for (int percent : {100, 250}) {
        Bar(percent);
        EXPECT_EQ(Pixel(477, 110), kBlue) << percent;
        EXPECT_EQ(Pixel(478, 110), kWhite) << percent;
    }
    for (int percent : {0, -20}) {
        Bar(percent);
        EXPECT_EQ(Pixel(187, 110), kWhite) << percent;
        EXPECT_EQ(Pixel(185, 110), kBlack) << percent;
    }
}

TEST_F(PaintingTest, TheUpdatePageStacksItsBarsBelowTheStatus) {
    GoTo(5);
    Dialog().PaintPageFrom(UpdateView("Connected"));
    // Title: one line and the newline's empty one (46); bar line text 18, frame 5 below.
    const std::vector<int> tops = FrameTops(20);
    ASSERT_EQ(tops.size(), 2u);
    EXPECT_EQ(tops[0], 20 + 46 + 18 + 5);
    EXPECT_EQ(tops[1], tops[0] + 31 + 18);
    EXPECT_EQ(Dialog().TextY(), tops[1] - 5 + 31);
    EXPECT_EQ(Pixel(331, tops[0] + 5), kBlue);  // Total at 50 %
    EXPECT_EQ(Pixel(477, tops[1] + 5), kBlue);  // Progress at 100 %

    // A status too long for the column wraps and pushes both bars down by whole lines.
    Dialog().PaintPageFrom(UpdateView("Writing the firmware elements into the flash memory of the printer, one after "
                                      "the other"));
    const std::vector<int> pushed = FrameTops(20);
    ASSERT_EQ(pushed.size(), 2u);
    EXPECT_GE(pushed[0] - tops[0], 2 * 23);
    EXPECT_EQ((pushed[0] - tops[0]) % 23, 0);
    EXPECT_EQ(pushed[1] - pushed[0], tops[1] - tops[0]);

    // While connecting only the Progress line shows.
    CThread::View connecting = UpdateView("Connecting...");
    connecting.m_bShowTotal = false;
    Dialog().PaintPageFrom(connecting);
    EXPECT_EQ(FrameTops(20).size(), 1u);
}

TEST_F(PaintingTest, TheMonitorVersionLineNeedsANonZeroByte) {
    GoTo(5);
    // Right-aligned, its bottom 20 pixels above the picture's (350).
    const QRect line(185, 350 - 20 - 14, 480 - 185, 14);
    const QRect leftPart(185, line.top(), 40, line.height());
    CThread::View view = UpdateView("Connected");
    Dialog().PaintPageFrom(view);
    EXPECT_EQ(DarkPixels(line), 0);
    view.m_byMonitorVersion[0] = 0x00;
    view.m_byMonitorVersion[1] = 0x01;
    Dialog().PaintPageFrom(view);
    EXPECT_GT(DarkPixels(line), 100);
    EXPECT_EQ(DarkPixels(leftPart), 0);
    EXPECT_EQ(DarkPixels(QRect(185, line.bottom() + 1, 295, 10)), 0);
}

TEST_F(PaintingTest, LongTextWrapsInTheColumn) {
    Dialog().Splash()->Fill(Qt::white);
    Dialog().SetTextY(20);
    Dialog().DrawBodyText("one two three four five six seven eight nine ten eleven twelve thirteen fourteen fifteen");
    const int bodyLines = (Dialog().TextY() - 20) / 14;
    EXPECT_GE(bodyLines, 2);
    EXPECT_EQ((Dialog().TextY() - 20) % 14, 0);
    EXPECT_EQ(DarkPixels(QRect(0, 20, 185, 60)), 0);   // nothing left of the column
    EXPECT_EQ(DarkPixels(QRect(481, 20, 19, 60)), 0);  // nor right of it
    Dialog().DrawTitleText("Title\n");
    EXPECT_EQ(Dialog().TextY(), 20 + 14 * bodyLines + 2 * 23);
}

TEST_F(PaintingTest, TheCopyToTheWindowSparesTheLiveControl) {
    EXPECT_EQ(PageCopies(std::nullopt, 500, 350), (std::vector<PageCopy>{QRect(0, 0, 500, 350)}));
    GoTo(3);
    const std::vector<PageCopy> copies = Dialog().LastCopies();
    EXPECT_EQ(copies, (std::vector<PageCopy>{QRect(0, 0, 500, 100), QRect(0, 123, 500, 227), QRect(0, 100, 174, 23),
                                             QRect(490, 100, 500, 23)}));
    // Copied onto a window-sized image: the control's place keeps what was there.
    QImage window(500, 400, QImage::Format_RGB32);
    window.fill(Qt::red);
    QPainter painter(&window);
    for (const PageCopy& c : copies) Dialog().Splash()->BlitTo(painter, c.x(), c.y(), c.width(), c.height(), c.x(), c.y());
    painter.end();
    EXPECT_EQ(window.pixel(300, 110), qRgb(255, 0, 0));
    EXPECT_EQ(window.pixel(173, 110), Pixel(173, 110));
    EXPECT_EQ(window.pixel(490, 110), Pixel(490, 110));
    EXPECT_EQ(window.pixel(300, 123), Pixel(300, 123));
    EXPECT_EQ(window.pixel(10, 200), Pixel(10, 200));  // the picture
    EXPECT_EQ(window.pixel(300, 360), qRgb(255, 0, 0));  // below the picture: the dialog's own
}

TEST_F(PaintingTest, ThePagePictureLoadsOrLeavesThePageWithoutOne) {
    CPagePicture picture(500, 400);
    EXPECT_EQ(picture.GetPictureHeight(), -1);
    ASSERT_TRUE(picture.LoadPicture(Path("SetupData/Setup.bmp")));
    EXPECT_EQ(picture.GetPictureHeight(), 350);
    picture.Fill(Qt::white);
    picture.RenderPicture(0, 0);
    EXPECT_NE(picture.Image().pixel(85, 20), kWhite);
    EXPECT_EQ(picture.Image().pixel(175, 20), kWhite);  // it ends before the text column

    EXPECT_FALSE(picture.LoadPicture(Path("SetupData/Setup.ini.missing")));
    EXPECT_EQ(picture.GetPictureHeight(), -1);
    EXPECT_FALSE(picture.LoadPicture(m_dir.Write("not-a-picture.bmp", "BM but not really")));
    picture.Fill(Qt::white);
    picture.RenderPicture(0, 0);
    EXPECT_EQ(picture.Image().pixel(85, 20), kWhite);
}

TEST_F(PaintingTest, WithoutAPictureThePagesAreLaidOutForOne350PixelsHigh) {
    std::filesystem::remove(Path("SetupData/Setup.bmp"));
    GoTo(2);
    EXPECT_EQ(Dialog().Splash()->GetPictureHeight(), -1);
    EXPECT_EQ(TreeWidget()->geometry(), QRect(174, 100, 316, 240));
    EXPECT_EQ(Dialog().LastCopies().at(1), QRect(0, 340, 500, 10));
}

TEST(PageFonts, CellsAreAsHighAsAsked) {
    for (auto [height, weight] : {std::pair{23, 400}, {14, 400}, {18, 700}}) {
        const QFont font = PageFont(height, weight);
        const auto cell = [](const QFont& f) {
            return QFontMetrics(f).boundingRect(QRect(0, 0, 295, 1000), Qt::TextWordWrap, "Xg").height();
        };
        EXPECT_EQ(cell(font), height);
        QFont larger = font;
        larger.setPixelSize(font.pixelSize() + 1);
        EXPECT_GT(cell(larger), height);
        EXPECT_EQ(font.weight(), weight);
    }
}

TEST(VersionText, DropsTrailingZeroParts) {
    EXPECT_EQ(CVersionInfo("1.0.0.0").FormatVersion(), "1.0");
    EXPECT_EQ(CVersionInfo("1.0.3.0").FormatVersion(), "1.0.3");
    EXPECT_EQ(CVersionInfo("1.0.0.7").FormatVersion(), "1.0.0.7");
    EXPECT_EQ(CVersionInfo("1.0.0").FormatVersion(), "1.0");
    EXPECT_EQ(CVersionInfo("2").FormatVersion(), "2.0");
    EXPECT_EQ(CVersionInfo("65535.2.0.1").FormatVersion(), "65535.2.0.1");
    for (const char* bad : {"", "x", "1.", "1..2", "1.0.0.0.1", "65536.0", "1.0-beta"}) {
        EXPECT_FALSE(CVersionInfo(bad).Found()) << bad;
        EXPECT_EQ(CVersionInfo(bad).FormatVersion(), "") << bad;
    }
    EXPECT_EQ(CVersionInfo().FormatVersion(), CVersionInfo(CARILLON_TEST_VERSION).FormatVersion());
}

}  // namespace
}  // namespace carillon
