#pragma once
// CPort: the one abstraction through which the rest of Carillon talks to a
// printer. Every operation reports its outcome in lastError (through
// SetError); return values carry data only. A port is used by one thread at
// a time; Abort is the only operation meant for another thread.

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "errors/ErrorCode.h"
#include "platform/ByteArray.h"
#include "platform/MessageTarget.h"
#include "ports/PortSettings.h"

namespace carillon {

class CPort {
public:
    CPort() = default;
    CPort(const CPort&) = delete;
    CPort& operator=(const CPort&) = delete;

    // The virtual operations, in their fixed order.
    virtual ~CPort();
    virtual int EnumeratePorts(PortRecord* records, int maxCount, bool checkFifo);
    virtual std::string IdentifyPrinter(const ByteArray& statusQuery, const ByteArray& identQuery,
                                        const ByteArray& cancel, int replyMode);
    virtual bool IsPrinterPresent();
    virtual bool IsSupportedDevice(int entryIndex);
    virtual bool Open();
    virtual bool Close();
    virtual bool SetSettings(const PortSettings* newSettings);
    virtual PortSettings* GetSettings();
    virtual void Abort();
    virtual bool IsOpen();
    virtual void WakeUp();
    virtual bool WaitSent();
    virtual int Write(const std::uint8_t* data, int length);
    virtual int Read(std::uint8_t* buffer, int length);
    virtual int WriteString(std::string text);
    virtual std::string ReadString();
    virtual int WriteByte(std::uint8_t value);
    virtual std::uint8_t ReadByte();
    virtual int GetInCount();
    virtual int GetOutCount();
    virtual bool PurgeIn();
    virtual bool PurgeOut();
    virtual platform::MessageTarget* SetNotifyWindow(platform::MessageTarget* window);
    virtual int CountPorts();
    virtual std::uint8_t GetLptStatus();
    virtual int VendorRequest(std::uint32_t code, std::uint8_t request, std::uint16_t value, void* out,
                              std::uint32_t outLen);
    virtual int IoControl(std::uint32_t code, const void* in, std::uint32_t inLen, void* out,
                          std::uint32_t outLen);
    virtual ErrorCode SetError(ErrorCode code);

    // True once the device has gone (unplugged, hung up) since the port was
    // last opened: every operation will fail, so callers stop retrying.
    bool DeviceGone() const { return deviceGone; }

    // Lists the serial ports, then the USB printers; needs no device.
    int EnumerateAllPorts(PortRecord* records, int maxCount, int reserved, bool checkFifo);

    // ReadString gives up on a text longer than the longest label a search
    // shows, or still unfinished after the deadline, whatever the byte rate.
    static constexpr std::size_t kTextLimit = 255;
    static constexpr std::chrono::milliseconds kTextDeadline{1000};

    std::uint32_t readTimeout = 2000;   // ms, limit for one ReadByte
    std::uint32_t writeTimeout = 1000;  // ms, limit for one write (USB: per byte)
    std::uint32_t flushTimeout = 5000;  // ms, limit for WaitSent
    ErrorCode lastError = kOk;          // set only through SetError
    int handle = -1;                    // device descriptor, -1 when closed
    std::atomic<bool> isOpen{false};
    bool deviceGone = false;  // set by the device ports, cleared by a successful Open
    platform::MessageTarget* notifyWindow = nullptr;
    std::unique_ptr<PortSettings> settings;  // null until SetSettings succeeded

protected:
    // True when the device is open; otherwise reports 0x00010002 ("Can not
    // open the port"), the answer of every device operation on a closed port.
    bool CheckOpen();

    // The byte loop that Read of both device ports uses: ReadByte until
    // length bytes or the first error; the failed position is not counted.
    int ReadBytes(std::uint8_t* buffer, int length);

    // The label of a printer that answers its identity in exactly four bytes;
    // empty when the waiting bytes are not four.
    std::string ReadFourByteLabel();
};

}  // namespace carillon
