#pragma once
// SimPort: a CPort bound in-process to a VirtualPrinter, so that the monitor
// and engine tests run fast and deterministically without a pty. The type of
// the settings given decides what it is: "SER" makes it a serial port (the
// rate and handshake in force at Open are the line settings the printer
// sees), "USB" a USB printer port (no line settings; while the printer
// re-enumerates Open fails, and an open port's reads and writes fail until
// it is opened again). Error codes and timeouts are those of the real
// ports; waits use a condition variable and Abort ends them.

#include <atomic>
#include <condition_variable>
#include <mutex>

#include "ports/Port.h"
#include "ports/ReconnectingPort.h"
#include "sim/PacedLink.h"
#include "sim/VirtualPrinter.h"

namespace carillon::sim {

class SimPort : public CPort, public ReconnectingPort {
public:
    explicit SimPort(VirtualPrinter& printer);
    ~SimPort() override;

    std::string IdentifyPrinter(const ByteArray& statusQuery, const ByteArray& identQuery, const ByteArray& cancel,
                                int replyMode) override;
    bool IsPrinterPresent() override;
    bool Open() override;
    bool Close() override;
    bool SetSettings(const PortSettings* newSettings) override;
    PortSettings* GetSettings() override { return settings.get(); }
    void Abort() override;
    void WakeUp() override;
    bool WaitSent() override;
    int Write(const std::uint8_t* data, int length) override;
    int Read(std::uint8_t* buffer, int length) override { return ReadBytes(buffer, length); }
    std::uint8_t ReadByte() override;
    int GetInCount() override;
    int GetOutCount() override;
    bool PurgeIn() override;
    bool PurgeOut() override;

    // As the USB port's: waits for the printer to leave the bus and come
    // back, then reopens the port if it was open. 0, kErrUsbNotGone or
    // kErrUsbNotBack.
    ErrorCode WaitForReconnect(std::uint32_t timeoutMs) override;

    VirtualPrinter& Printer() { return m_printer; }
    bool IsUsb() const { return settings && settings->HasType(kUsbType); }

private:
    using Clock = std::chrono::steady_clock;
    // A USB port whose printer has left the bus since it was opened.
    bool Stale() const;
    // Sleeps until t; false when Abort ended the wait.
    bool WaitUntil(Clock::time_point t);
    std::string IdentifySerial(const ByteArray& statusQuery, const ByteArray& identQuery, const ByteArray& cancel,
                               int replyMode);
    std::string IdentifyUsb(const ByteArray& identQuery, const ByteArray& cancel, int replyMode);
    std::string ReadKestrelLabel();

    VirtualPrinter& m_printer;
    PacedLink m_link;
    std::uint32_t m_generation = 0;
    std::mutex m_waitMutex;
    std::condition_variable m_wake;
    bool m_abort = false;  // guarded by m_waitMutex
};

}  // namespace carillon::sim
