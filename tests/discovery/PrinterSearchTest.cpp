#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <memory>

#include "discovery/PrinterList.h"
#include "platform/MessageQueue.h"
#include "ports/Port.h"
#include "ports/SerialPortMap.h"
#include "sim/PtyPrinter.h"
#include "support/PortTestHelpers.h"
#include "support/RecordingTree.h"
#include "support/SimPrinter.h"

namespace carillon {
namespace {

using namespace std::chrono_literals;
using testing::RecordingTree;

// Virtual printers on pseudo-terminals, listed as serial or USB ports.
class Printers {
public:
    sim::VirtualPrinter& AddSerial(sim::PrinterConfig config) {
        auto& p = Start(std::move(config), sim::PtyPrinter::Mode::kSerial);
        serialPaths_[static_cast<int>(serialPaths_.size()) + 1] = p.pty->DevicePath();
        map_.reset();  // the old scope's end would reset the new map
        map_ = std::make_unique<ScopedSerialPortMap>(serialPaths_);
        return *p.printer;
    }
    sim::VirtualPrinter& AddUsb(sim::PrinterConfig config) {
        return *Start(std::move(config), sim::PtyPrinter::Mode::kUsb).printer;
    }
    testing::UsbDevicesFile usb;

private:
    struct Running {
        std::unique_ptr<sim::VirtualPrinter> printer;
        std::unique_ptr<sim::PtyPrinter> pty;
    };
    Running& Start(sim::PrinterConfig config, sim::PtyPrinter::Mode mode) {
        Running r;
        r.printer = std::make_unique<sim::VirtualPrinter>(std::move(config));
        r.pty = std::make_unique<sim::PtyPrinter>(*r.printer, mode, usb.Path());
        EXPECT_TRUE(r.pty->Start());
        running_.push_back(std::move(r));
        return running_.back();
    }
    std::vector<Running> running_;
    SerialPortMap serialPaths_;
    // No serial ports but those added, rather than the machine's own.
    std::unique_ptr<ScopedSerialPortMap> map_ = std::make_unique<ScopedSerialPortMap>(SerialPortMap{});
};

sim::PrinterConfig Named(std::uint32_t sets, const char* name, std::uint32_t baud = 9600) {
    sim::PrinterConfig c;
    c.commandSets = sets;
    c.name = name;
    c.baudRate = baud;
    return c;
}

class PrinterSearchTest : public ::testing::Test {
protected:
    PrinterSearchTest() {
        list.engine.m_session.m_timing = MonitorTiming{}.Scaled(0.1);
        list.SetTree(&tree, 0, nullptr);
    }
    std::vector<std::string> TreeTexts() {
        std::vector<std::string> texts;
        for (const auto& item : tree.Items()) texts.push_back(item.text);
        return texts;
    }
    Printers printers;  // outlives the list, whose ports talk to them
    RecordingTree tree;
    PrinterList list;
};

TEST_F(PrinterSearchTest, EveryCommandSetAndAMonitorAreRecognised) {
    auto vrk = Named(sim::kSetVrk, "VRK-38400", 38400);
    vrk.handshake = kHandshakeRtsCts;
    vrk.infoBytes = {0x12, 0x34, 0x56};
    printers.AddSerial(vrk);
    printers.AddSerial(Named(sim::kSetEscPos, "ABC"));
    auto kestrel = Named(sim::kSetKestrel, "", 19200);
    kestrel.kestrelId = {2, 0, 1, 7};
    printers.AddSerial(kestrel);
    sim::PrinterConfig monitor;
    monitor.family = sim::Family::kKiosk;
    monitor.startInMonitor = true;
    printers.AddSerial(monitor);
    auto soft = Named(sim::kSetVrk, "soft", 57600);
    soft.handshake = kHandshakeXonXoff;
    printers.AddSerial(soft);
    printers.AddUsb(Named(sim::kSetVrk, "USB-VRK"));

    ASSERT_EQ(list.SearchPrinters(), 6);

    const PrinterEntry vrkEntry = list.EntrySnapshot(0);
    EXPECT_EQ(vrkEntry.kind, kPortKindSerial);
    EXPECT_EQ(vrkEntry.portName, "COM1");
    EXPECT_EQ(vrkEntry.label, "VRK-38400");
    EXPECT_EQ(vrkEntry.commandSet, COMMAND_SET_VRK);
    EXPECT_EQ(vrkEntry.info, (std::array<std::uint8_t, 4>{0x12, 0x34, 0x56, 1}));
    for (auto [entry, baud, handshake] : {std::tuple{0, 38400u, kHandshakeRtsCts}, {4, 57600u, kHandshakeXonXoff}}) {
        auto* settings = dynamic_cast<SerialPortSettings*>(list.EntryPort(entry)->GetSettings());
        ASSERT_NE(settings, nullptr);
        EXPECT_EQ(settings->baudRate, baud);
        EXPECT_EQ(settings->handshake, handshake);
    }

    EXPECT_EQ(list.EntrySnapshot(1).label, "ABC");
    EXPECT_EQ(list.EntrySnapshot(1).commandSet, COMMAND_SET_ESCPOS);

    EXPECT_EQ(list.EntrySnapshot(2).label, "KESTREL (2017)");
    EXPECT_EQ(list.EntrySnapshot(2).commandSet, COMMAND_SET_KESTREL);

    const PrinterEntry inMonitor = list.EntrySnapshot(3);
    EXPECT_EQ(inMonitor.label, "KIOSK is in Monitor mode");
    EXPECT_EQ(inMonitor.family, static_cast<std::uint32_t>(kArchiKiosk));
    EXPECT_EQ(inMonitor.commandSet, COMMAND_SET_UNKNOWN);
    EXPECT_EQ(inMonitor.info, (std::array<std::uint8_t, 4>{0xFF, 0xFF, 0xFF, 0xFF}));

    const PrinterEntry usb = list.EntrySnapshot(5);
    EXPECT_EQ(usb.kind, kPortKindUsb);
    EXPECT_EQ(usb.portName, "USB1");
    EXPECT_EQ(usb.label, "USB-VRK");
    EXPECT_EQ(usb.vid, 0x1a2bu);
    EXPECT_EQ(usb.pid, 0x0003u);

    EXPECT_EQ(TreeTexts(), (std::vector<std::string>{"Serial Printers", "USB Printers", "COM1: VRK-38400", "COM2: ABC",
                                                     "COM3: KESTREL (2017)", "COM4: KIOSK is in Monitor mode",
                                                     "COM5: soft", "USB1: USB-VRK"}));
}

TEST_F(PrinterSearchTest, ProbingThePortsAtOnceFindsWhatProbingThemInTurnFinds) {
    printers.AddSerial(Named(sim::kSetVrk, "VRK-38400", 38400));
    printers.AddSerial(Named(sim::kSetEscPos, "ABC", 115200));
    printers.AddSerial(testing::InMonitor(sim::Family::kPlv));
    printers.AddSerial({});  // nothing answers
    printers.AddUsb(Named(sim::kSetVrk, "USB-VRK"));
    platform::MessageQueue messages;
    list.notifyWindow = &messages;
    auto search = [&](int probesAtOnce) {
        list.probesAtOnce = probesAtOnce;
        EXPECT_EQ(list.SearchPrinters(), 5);
        std::vector<std::string> found = TreeTexts();
        for (int i = 0; i < 5; ++i) {
            const PrinterEntry e = list.EntrySnapshot(i);
            found.push_back(e.label + "/" + std::to_string(e.commandSet) + "/" + std::to_string(e.family));
        }
        found.push_back("current " + std::to_string(list.current));
        std::vector<std::uint32_t> ids;
        while (auto m = messages.Take(std::chrono::milliseconds(0))) ids.push_back(m->id);
        EXPECT_EQ(ids.front(), platform::WM_SEARCH_STARTED);
        EXPECT_EQ(ids.back(), platform::WM_SEARCH_DONE);
        EXPECT_EQ(std::count(ids.begin(), ids.end(), platform::WM_SEARCH_PROGRESS), 5);
        return found;
    };
    const auto inTurn = search(1);
    EXPECT_EQ(inTurn[4], "COM3: NDX(PLV) is in Monitor mode");
    EXPECT_EQ(search(kMaxPortRecords), inTurn);
}

TEST_F(PrinterSearchTest, ASearchForNamedPortsNeitherWakesNorAsksTheOthers) {
    sim::VirtualPrinter& serial = printers.AddSerial(Named(sim::kSetVrk, "first"));
    printers.AddSerial(Named(sim::kSetVrk, "asked"));
    sim::VirtualPrinter& usb = printers.AddUsb(Named(sim::kSetVrk, "usb"));
    list.portsToAsk = {"COM2"};

    ASSERT_EQ(list.SearchPrinters(), 3);
    EXPECT_EQ(list.EntrySnapshot(0).label, "");
    EXPECT_EQ(list.EntrySnapshot(1).label, "asked");
    EXPECT_EQ(list.EntrySnapshot(2).label, "");
    EXPECT_EQ(list.current, 1);
    for (const sim::VirtualPrinter* unasked : {&serial, &usb}) {
        const sim::Counters c = unasked->GetCounters();
        EXPECT_EQ(c.noiseBytes + c.normalCommands, 0u);
        EXPECT_TRUE(unasked->NormalModeBytes().empty());
    }
}

TEST_F(PrinterSearchTest, TheTreeGroupsThePortsAndShowsTheCurrentOneInBold) {
    printers.AddSerial(Named(sim::kSetKestrel, "", 1200));  // answers nothing the search can use...
    printers.AddUsb(Named(sim::kSetVrk, "USB-VRK"));
    ASSERT_EQ(list.SearchPrinters(), 2);
    const auto items = tree.Items();
    ASSERT_EQ(items.size(), 4u);
    EXPECT_EQ(items[0].image, kImageSerial);
    EXPECT_TRUE(items[0].expanded && items[1].expanded);
    EXPECT_EQ(items[2].parent, items[0].handle);
    EXPECT_EQ(items[3].parent, items[1].handle);
    EXPECT_EQ(items[3].image, kImageUsb);
    EXPECT_TRUE(items[2].bold);  // entry 0 is current
    EXPECT_FALSE(items[3].bold);
    EXPECT_TRUE(tree.RedrawOn());

    tree.Select("USB Printers");
    EXPECT_FALSE(list.OnTreeSelChanged());
    EXPECT_EQ(list.current, 0);
    tree.Select("USB1: USB-VRK");
    EXPECT_TRUE(list.OnTreeSelChanged());
    EXPECT_EQ(list.current, 1);
    EXPECT_FALSE(tree.Items()[2].bold);
    EXPECT_TRUE(tree.Items()[3].bold);

    // A new search keeps the choice.
    ASSERT_EQ(list.SearchPrinters(), 2);
    EXPECT_EQ(list.current, 1);
    EXPECT_TRUE(tree.Items()[3].bold);
}

TEST_F(PrinterSearchTest, WithoutPortsOnlyTheTwoGroupsRemain) {
    platform::MessageQueue messages;
    list.notifyWindow = &messages;
    EXPECT_EQ(list.SearchPrinters(), 0);
    EXPECT_EQ(list.portCount, 0);
    EXPECT_EQ(TreeTexts(), (std::vector<std::string>{"Serial Printers", "USB Printers"}));
    std::vector<std::uint32_t> ids;
    while (auto m = messages.Take(std::chrono::milliseconds(0))) ids.push_back(m->id);
    EXPECT_EQ(ids, (std::vector<std::uint32_t>{platform::WM_SEARCH_STARTED, platform::WM_SEARCH_DONE}));
}

TEST_F(PrinterSearchTest, ABusyEngineLeavesUnidentifiedPrintersBlank) {
    sim::PrinterConfig monitor;
    monitor.startInMonitor = true;
    printers.AddSerial(monitor);
    // A connect held at its first frame until the search is over.
    testing::SimPrinter held(testing::InMonitor());
    std::atomic<bool> searched{false};
    held.printer.SetTrace([&](const std::string&) { testing::WaitUntil([&] { return searched.load(); }, 30s); });
    list.engine.PostConnect(&held.port, 0, 0);
    ASSERT_EQ(list.SearchPrinters(), 1);
    EXPECT_EQ(list.EntrySnapshot(0).label, "");
    EXPECT_EQ(list.EntrySnapshot(0).family, 0u);
    EXPECT_EQ(list.engine.m_lastError, 0x00030023u);
    searched = true;
    ASSERT_TRUE(testing::WaitUntil([&] { return list.engine.m_command == kCommandIdle; }, 30s));
    held.printer.SetTrace(nullptr);
    list.engine.m_session.Disconnect();  // the held printer's port goes first
}

TEST(PrinterListOperations, EntriesWithoutAPortReportNoPrinter) {
    PrinterList list;
    list.SendCancel(3);
    EXPECT_EQ(list.lastError, 0x00050001u);
    std::uint8_t info[4];
    EXPECT_EQ(list.ReadPrinterInfo(info, -1), 0x00050001u);
    EXPECT_EQ(list.DetectHandshake(7), static_cast<std::uint32_t>(kHandshakeRtsCts));
    EXPECT_TRUE(list.BuildCommandStrings(COMMAND_SET_UNKNOWN).cancel.empty());
    EXPECT_EQ(list.lastError, 0x00050004u);
    EXPECT_EQ(list.BuildCommandStrings(COMMAND_SET_KESTREL).identQuery, (ByteArray{0x1B, 0x57}));
    EXPECT_EQ(list.lastError, kOk);
}

}  // namespace
}  // namespace carillon
