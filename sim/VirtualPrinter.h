#pragma once
// VirtualPrinter: the printer's state machine. Bytes from the PC come in
// with the line settings they were sent at; answer bytes queue up for the
// front end (SimPort in-process, PtyPrinter on a pseudo-terminal) to take.
// In normal mode it answers its command sets at its own rate; 0x1D 0x55
// 0x4D starts the boot monitor at 115200 (a USB printer leaves the bus and
// comes back); the monitor's leave command returns to normal mode.
// Thread-safe: every member takes the printer's lock.

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/ByteArray.h"
#include "sim/Config.h"
#include "sim/FileTableImage.h"
#include "sim/FrameCodec.h"
#include "sim/Monitor.h"
#include "sim/NormalMode.h"
#include "sim/StartingImage.h"

namespace carillon::sim {

// One monitor request as received: its unescaped body, and the body taken apart.
struct MonitorRequest {
    ByteArray body;
    Packet packet;
};

struct SectorInfo {
    std::uint32_t start = 0;  // in the location's units
    std::uint32_t units = 0;
    bool erased = true;
};

class VirtualPrinter {
public:
    using Clock = std::chrono::steady_clock;

    explicit VirtualPrinter(PrinterConfig config = {});
    VirtualPrinter(const VirtualPrinter&) = delete;
    VirtualPrinter& operator=(const VirtualPrinter&) = delete;

    // The configuration it was built with (faults as at construction).
    const PrinterConfig& Config() const { return m_config; }

    // The PC's side of the line.
    void Receive(const std::uint8_t* data, std::size_t length, const LineSettings& line);
    void Receive(const ByteArray& data, const LineSettings& line) { Receive(data.data(), data.size(), line); }
    ByteArray TakeOutput();

    bool InMonitor() const;
    std::uint8_t AnswerSequence() const;
    std::uint32_t WriteAddress(int location) const;

    // USB presence: the printer leaves the bus when its monitor starts or
    // ends and is back after the re-enumeration delay.
    bool UsbPresent() const;
    std::uint32_t UsbGeneration() const;  // counts departures
    Clock::time_point UsbReturnTime() const;
    // Waits until the generation differs from this one, or the deadline; true on a change.
    bool WaitForDeparture(std::uint32_t generation, Clock::time_point deadline) const;

    // Direct flash access, in the location's units.
    bool HasFlash(int location) const;
    ByteArray ReadFlash(int location, std::uint32_t unit, std::uint32_t count) const;
    void StoreFlash(int location, std::uint32_t unit, const ByteArray& bytes);
    void EraseSector(int location, std::size_t sector);
    ByteArray FlashImage(int location) const;
    bool SetFlashImage(int location, const ByteArray& image);
    std::vector<SectorInfo> SectorMap(int location) const;
    std::uint32_t TableStart(int location) const;
    TableContents FileTable(int location) const;

    // What it received: monitor requests in order (data packets included)
    // and the bytes it understood in normal mode.
    std::vector<MonitorRequest> Requests() const;
    ByteArray NormalModeBytes() const;
    void ClearLogs();
    Counters GetCounters() const;

    // Faults may change at any time; the counters and generator restart.
    void SetFaults(const Faults& faults);
    Faults GetFaults() const;
    void SetSilent(bool silent);

    // Every frame both ways, decoded and timestamped; called under the
    // printer's lock, so the sink must not call back into the printer.
    void SetTrace(TraceFn sink);

    // Keeps the flash in a file across runs.
    bool SaveFlash(const std::string& path, std::string* error = nullptr) const;
    bool LoadFlash(const std::string& path, std::string* error = nullptr);

private:
    enum class RequestEnd { kGoOn, kLeftMonitor, kPrinterGone };
    void ReceiveBytes(const std::uint8_t* data, std::size_t length, const LineSettings& line);
    RequestEnd HandleRequest(ByteArray body, const LineSettings& line);
    void PowerCut(bool usb);
    void StartMonitor(bool usb);
    void LeaveMonitor(bool usb);
    void Depart();
    void Trace(const std::string& text) const;
    bool LineUnderstood(const LineSettings& line) const;

    const PrinterConfig m_config;
    mutable std::mutex m_mutex;
    mutable std::condition_variable m_changed;
    FlashSet m_flash;
    FaultInjector m_faults;
    Counters m_counters;
    NormalMode m_normal;
    Monitor m_monitor;
    FrameDecoder m_decoder;
    bool m_inMonitor = false;
    ByteArray m_output;
    std::vector<MonitorRequest> m_requests;
    ByteArray m_normalBytes;
    std::uint32_t m_usbGeneration = 0;
    Clock::time_point m_usbBack{};
    TraceFn m_trace;
    TraceFn m_monitorTrace;
    Clock::time_point m_created = Clock::now();
};

}  // namespace carillon::sim
