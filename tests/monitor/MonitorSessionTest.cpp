#include <gtest/gtest.h>

#include <algorithm>

#include "monitor/MonitorSession.h"
#include "package/Element.h"
#include "support/ScriptedPort.h"
#include "support/SimPrinter.h"

namespace carillon {
namespace {

using testing::InMonitor;
using testing::SimPrinter;

class MonitorSessionTest : public ::testing::Test {
protected:
    MonitorSessionTest() { session.m_timing = MonitorTiming{}.Scaled(0.05); }
    SimPrinter& Make(const sim::PrinterConfig& config = {}, bool usb = false) {
        printers_.push_back(std::make_unique<SimPrinter>(config, usb));
        return *printers_.back();
    }
    std::vector<std::unique_ptr<SimPrinter>> printers_;  // outlive the sessions, which borrow their ports
    CMonitorSession session;
};

TEST_F(MonitorSessionTest, APrinterInNormalModeIsWokenAtItsOwnRateAgainAfterLosingPower) {
    sim::PrinterConfig config;
    config.baudRate = 38400;
    SimPrinter& p = Make(config);
    ASSERT_EQ(session.Connect(&p.port, true, 0), kOk);
    const ByteArray enterMonitor = {0x1D, 0x55, 0x4D}, sent = p.printer.NormalModeBytes();
    EXPECT_NE(std::search(sent.begin(), sent.end(), enterMonitor.begin(), enterMonitor.end()), sent.end());
    sim::Faults cut;
    cut.powerCutAtRequest = 1;  // the next request
    p.printer.SetFaults(cut);
    EXPECT_NE(session.ReadMonitorInfo(nullptr), kOk);
    session.Disconnect();
    EXPECT_EQ(dynamic_cast<SerialPortSettings*>(p.port.GetSettings())->baudRate, 38400u);
    ASSERT_EQ(session.Connect(&p.port, true, 0), kOk);
    EXPECT_EQ(p.printer.GetCounters().monitorStarts, 2u);
}

// Plain answers carry no locations byte: MCU and DSP are assumed.
TEST_F(MonitorSessionTest, APrinterInItsMonitorNamesFamilyVersionsLocationsAndWriteAddressesAndIsLeft) {
    struct Case {
        sim::Family family;
        std::uint32_t archi;
        int version, version2, locations;
    };
    for (const Case& c : {Case{sim::Family::kNdx, kArchiNdx, 0x02, 0xFF, 0x03},
                          Case{sim::Family::kPlv, kArchiPlv, 0x85, 0x01, 0x03},
                          Case{sim::Family::kKiosk, kArchiKiosk, 0x85, 0x01, 0x09}}) {
        SCOPED_TRACE(sim::FamilyName(c.family));
        SimPrinter& p = Make(InMonitor(c.family));
        CMonitorSession s;
        ASSERT_EQ(s.Connect(&p.port, false, 0), kOk);
        EXPECT_TRUE(p.printer.NormalModeBytes().empty());  // already there: no mode command
        auto* serial = dynamic_cast<SerialPortSettings*>(p.port.GetSettings());
        EXPECT_EQ(std::tie(serial->baudRate, serial->handshake), std::make_tuple(115200u, 3u));  // the monitor's line
        EXPECT_EQ(s.m_archi, c.archi);
        EXPECT_EQ(s.m_monitorVersion, c.version);
        EXPECT_EQ(s.m_monitorVersion2, c.version2);
        EXPECT_EQ(s.m_maxPacket, 200);
        for (int location = 0; location < 4; ++location)
            EXPECT_EQ(s.IsLocationPresent(location), ((c.locations >> location) & 1) != 0) << location;
        EXPECT_FALSE(s.IsLocationPresent(4));
        EXPECT_FALSE(s.IsLocationPresent(-1));
        MonitorInfo info;
        ASSERT_EQ(s.ReadMonitorInfo(&info), kOk);
        EXPECT_EQ(info.mcuWriteAddress, p.printer.WriteAddress(kMcuFlash));
        if (c.version & 0x80) {  // only extended answers carry the kiosk board's
            EXPECT_EQ(info.kioskWriteAddress, p.printer.WriteAddress(kKioskFlash));
            EXPECT_EQ(s.KioskWriteAddress(), info.kioskWriteAddress);
        }
        EXPECT_EQ(s.LeaveMonitorMode(), kOk);  // no location is present without a monitor to ask
        EXPECT_FALSE(p.printer.InMonitor());
        EXPECT_EQ(s.m_pPort, nullptr);
        EXPECT_FALSE(p.port.IsOpen());
        EXPECT_EQ(s.LeaveMonitorMode(), 0x00020003u);
        for (int location = 0; location < 4; ++location) EXPECT_FALSE(s.IsLocationPresent(location)) << location;
    }
}

TEST_F(MonitorSessionTest, NoConnectionWithoutAPortOrWithASilentMonitorNotWoken) {
    EXPECT_EQ(session.Connect(nullptr, true, 0), 0x01000008u);
    EXPECT_EQ(session.m_operation, kOpIdle);
    EXPECT_EQ(session.GoToMonitorMode(9600, 1, 0), 0x01000008u);
    testing::ScriptedPort closed;
    session.m_pPort = &closed;
    EXPECT_EQ(session.ReadMonitorInfo(nullptr), 0x00020003u);

    SimPrinter& p = Make();  // normal mode: the monitor never answers
    EXPECT_EQ(session.Connect(&p.port, false, 0), 0x00010010u);
    EXPECT_FALSE(session.m_connected);
    EXPECT_EQ(session.m_pPort, &p.port);  // the port stays attached and open
    EXPECT_TRUE(p.port.IsOpen());
    EXPECT_TRUE(p.printer.NormalModeBytes().empty());
    EXPECT_GE(p.printer.GetCounters().noiseBytes, 12u);  // two info requests at the wrong rate
}

}  // namespace
}  // namespace carillon
