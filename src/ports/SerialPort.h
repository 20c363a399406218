#pragma once
// CSerialPort: a printer on a serial line ("COM%d"; the serial-port map says
// which device each number stands for). Raw 8N1 through termios, waits with
// poll() bounded by the port's time-outs.

#include <cstdint>
#include <string>

#include "ports/Deadline.h"
#include "ports/WakeEvent.h"
#include "ports/Port.h"

namespace carillon {

class CSerialPort : public CPort {
public:
    CSerialPort() = default;
    ~CSerialPort() override;

    int EnumeratePorts(PortRecord* records, int maxCount, bool checkFifo) override;
    std::string IdentifyPrinter(const ByteArray& statusQuery, const ByteArray& identQuery, const ByteArray& cancel,
                                int replyMode) override;
    bool IsPrinterPresent() override;
    bool Open() override;
    bool Close() override;
    bool SetSettings(const PortSettings* newSettings) override;
    PortSettings* GetSettings() override;
    void Abort() override;
    void WakeUp() override;
    bool WaitSent() override;
    int Write(const std::uint8_t* data, int length) override;
    int Read(std::uint8_t* buffer, int length) override;
    std::uint8_t ReadByte() override;
    int GetInCount() override;
    int GetOutCount() override;
    bool PurgeIn() override;
    bool PurgeOut() override;
    int CountPorts() override;

    // Rates tried by IdentifyPrinter, in order.
    static constexpr std::uint32_t kProbeRates[] = {115200, 57600, 38400, 19200, 9600, 4800, 2400, 1200};

private:
    // Sets 0x00010002 and returns false when there is no open device.
    SerialPortSettings* Serial() const;
    // Reports code; gone notes that the device has gone for good.
    void Fail(ErrorCode code, bool gone);
    void CloseHandle();
    // Waits until the line's output queue is empty; onTimeout when the
    // deadline passes first, false with lastError set on any failure.
    bool WaitDrained(const detail::Deadline& deadline, ErrorCode onTimeout);
    int WriteTimedOut();

    detail::WakeEvent wake;  // signalled by Abort
    // Where the system's driver needs them: a lock that keeps a second
    // program off an open line, the read time-out the driver holds, and the
    // bytes taken from the driver in one call beyond the one asked for.
    std::intptr_t lineLock = 0;
    std::uint32_t driverReadTimeout = 0;
    std::uint8_t rxBuffer[256] = {};
    std::uint16_t rxCursor = 0;
    std::uint16_t rxEnd = 0;
    // Reads up to length bytes that the driver holds or, when it holds
    // none, waits up to readTimeout for one; the count, 0 with lastError set.
    int ReadChunk(std::uint8_t* buffer, std::uint32_t length);
};

}  // namespace carillon
