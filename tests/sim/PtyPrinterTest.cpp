#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <thread>

#include "SimTestSupport.h"
#include "sim/PtyPrinter.h"
#include "support/PortTestHelpers.h"

namespace carillon::sim {
namespace {

using Clock = std::chrono::steady_clock;
using testing::Answers;
using testing::Request;

// The PC's end of the pty: a raw line at a chosen rate.
class Line {
public:
    explicit Line(const std::string& path, speed_t speed = 0) : m_fd(::open(path.c_str(), O_RDWR | O_NOCTTY)) {
        if (m_fd >= 0 && speed != 0) SetSpeed(speed);
    }
    ~Line() { ::close(m_fd); }
    bool Ok() const { return m_fd >= 0; }
    void SetSpeed(speed_t speed) {
        termios t{};
        ::tcgetattr(m_fd, &t);
        ::cfmakeraw(&t);
        ::cfsetspeed(&t, speed);
        ::tcsetattr(m_fd, TCSANOW, &t);
    }
    void Write(const ByteArray& bytes) {
        ASSERT_EQ(::write(m_fd, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
        ::tcdrain(m_fd);
    }
    // Reads until `last` arrives or the time is up.
    ByteArray ReadUntil(std::uint8_t last, int timeoutMs = 2000) {
        ByteArray got;
        for (const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs); Clock::now() < deadline;) {
            pollfd p{m_fd, POLLIN, 0};
            std::uint8_t b;
            if (::poll(&p, 1, 20) <= 0) continue;
            if (::read(m_fd, &b, 1) != 1) break;
            got.push_back(b);
            if (b == last) break;
        }
        return got;
    }

private:
    int m_fd;
};

TEST(Vprinter, PrintsItsDevicePathAndAnswersAHandWrittenExchangeAtItsRatesOnly) {
    int out[2];
    ASSERT_EQ(::pipe(out), 0);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        ::dup2(out[1], STDOUT_FILENO);
        ::close(out[0]);
        ::execl(CARILLON_VPRINTER, CARILLON_VPRINTER, "--family", "NDX", static_cast<char*>(nullptr));
        ::_exit(127);
    }
    ::close(out[1]);
    std::string path;
    char c;
    while (::read(out[0], &c, 1) == 1 && c != '\n') path += c;
    ::close(out[0]);
    ASSERT_EQ(path.rfind("/dev/pts/", 0), 0u) << path;
    {
        Line line(path, B19200);
        ASSERT_TRUE(line.Ok());
        line.Write({0x1B, 0x76});  // at another rate: noise, no answer
        EXPECT_TRUE(line.ReadUntil(0x00, 200).empty());
        line.SetSpeed(B9600);
        line.Write({0x1B, 0x49});  // VRK identification
        EXPECT_EQ(line.ReadUntil(0x00), (ByteArray{'V', 'i', 'r', 't', 'u', 'a', 'l', ' ', 'N', 'D', 'X', 0}));
        line.Write({0x1D, 0x55, 0x4D});
        // A real line takes 3 ms for these bytes at 9600 before the PC may change its rate.
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        line.SetSpeed(B115200);
        // Monitor info request, sequence 0: C0, CRC low, CRC high, 00, 41, C1.
        line.Write(Request(0, 0x41));
        const auto answers = Answers(line.ReadUntil(0xC1));
        ASSERT_EQ(answers.size(), 1u);
        EXPECT_TRUE(answers[0].crcOk && answers[0].sequence == 0);
        EXPECT_EQ(answers[0].data, (ByteArray{0x02, 200, 0, 0, 0, 0, 0, 0}));
    }
    ::kill(child, SIGTERM);
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
}

TEST(PtyPrinter, UsbPrinterComesBackOnANewPtyUnderTheSameInstanceId) {
    carillon::testing::TempDir dir;
    const std::string list = (dir.Path() / "usb-devices").string();
    ASSERT_TRUE(UsbDeviceList(list).Add("USB\\Vid_1a2b&Pid_0003\\OTHER", "/dev/null"));
    PrinterConfig c;
    c.usbReenumerateMs = 50;
    VirtualPrinter printer(c);
    {
        PtyPrinter pty(printer, PtyPrinter::Mode::kUsb, list);
        ASSERT_TRUE(pty.Start());
        UsbDeviceList devices(list);
        ASSERT_EQ(devices.Entries().size(), 2u);
        EXPECT_EQ(devices.Entries()[1], (UsbDeviceList::Entry{c.usbInstanceId, pty.DevicePath()}));
        Line(pty.DevicePath()).Write({0x1D, 0x55, 0x4D});
        ASSERT_TRUE(carillon::testing::WaitUntil([&] { return pty.Reconnections() == 1; }, std::chrono::seconds(5)));
        const auto entries = devices.Entries();
        ASSERT_EQ(entries.size(), 2u);
        EXPECT_EQ(entries[1].first, c.usbInstanceId);
        Line line(entries[1].second);
        line.Write(Request(0, 0x41));
        EXPECT_EQ(Answers(line.ReadUntil(0xC1)).at(0).code, 0x00);
    }
    const auto left = UsbDeviceList(list).Entries();
    ASSERT_EQ(left.size(), 1u);  // its own line is gone, the other printer stays
    EXPECT_EQ(left[0].second, "/dev/null");
}

}  // namespace
}  // namespace carillon::sim
