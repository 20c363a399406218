#pragma once
// CUsbPort: a printer on the kernel's USB printer driver (or any device node
// that the USB device source lists). Printers are numbered from 1 in the
// source's order, or chosen by the last component of their instance id.

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "ports/DeviceIo.h"
#include "ports/Deadline.h"
#include "ports/Port.h"
#include "ports/ReconnectingPort.h"
#include "ports/UsbDeviceSource.h"
#include "ports/WakeEvent.h"

namespace carillon {

// Buffer sizes of the device list functions, each with its terminating NUL.
constexpr std::uint32_t kUsbPathSize = 260;
constexpr std::uint32_t kUsbInstanceIdSize = 256;

// The two vendor ids IsSupportedDevice accepts. Nothing in the search depends
// on them; these are the shared ids that open-hardware devices use, to be
// replaced by the real pair where one is known.
constexpr std::array<std::uint32_t, 2> kSupportedUsbVendorIds = {0x1209, 0xF055};

// Number of USB printers present.
int GetUsbPrinterCount();

// Copies the device node of entry index (0-based) into path (size bytes with
// the NUL) and, when rawInstanceId is given, the instance id into it
// (kUsbInstanceIdSize bytes). 0 on success; ENOENT for no such entry,
// ENAMETOOLONG when a text does not fit, EINVAL for a null or empty buffer.
long GetUsbDevicePath(int index, char* path, std::uint32_t size, char* rawInstanceId);

// The last component of entry index's instance id, with its backslash.
bool GetUsbInstanceSuffix(int index, std::string& suffix);

// Searches the entries from the last to the first for one whose instance
// suffix equals suffix; index (may be null) receives its 0-based position.
bool FindUsbInstance(const std::string& suffix, int* index);

// The hexadecimal number after "<tag>_" at the first occurrence of tag in
// text (case-sensitive), as in "Vid_1209"; 0 when there is none.
std::uint32_t ParseUsbId(const std::string& text, const char* tag);

// The device calls USB ports make unless told otherwise: the system's, or
// those a ScopedUsbDeviceIo put in place.
DeviceIo& UsbDeviceIo();

class ScopedUsbDeviceIo {
public:
    // device must outlive the scope and every port made meanwhile.
    explicit ScopedUsbDeviceIo(DeviceIo& device);
    ~ScopedUsbDeviceIo();
    ScopedUsbDeviceIo(const ScopedUsbDeviceIo&) = delete;
    ScopedUsbDeviceIo& operator=(const ScopedUsbDeviceIo&) = delete;

private:
    DeviceIo* previous_;
};

class CUsbPort : public CPort, public ReconnectingPort {
public:
    // The device calls of UsbDeviceIo(), where the system has that seam.
    CUsbPort();
    // device: where the port's device calls go (the system's, or a model of
    // the driver); it must outlive the port and the ports it enumerates.
    explicit CUsbPort(DeviceIo& device);
    ~CUsbPort() override;

    int EnumeratePorts(PortRecord* records, int maxCount, bool checkFifo) override;
    std::string IdentifyPrinter(const ByteArray& statusQuery, const ByteArray& identQuery, const ByteArray& cancel,
                                int replyMode) override;
    bool IsPrinterPresent() override;
    bool IsSupportedDevice(int entryIndex) override;
    bool Open() override;
    bool Close() override;
    bool SetSettings(const PortSettings* newSettings) override;
    PortSettings* GetSettings() override;
    void Abort() override;
    bool WaitSent() override;
    int Write(const std::uint8_t* data, int length) override;
    int Read(std::uint8_t* buffer, int length) override;
    int WriteByte(std::uint8_t value) override;
    std::uint8_t ReadByte() override;
    int GetInCount() override;
    int GetOutCount() override;
    bool PurgeIn() override;
    bool PurgeOut() override;
    std::uint8_t GetLptStatus() override;
    int VendorRequest(std::uint32_t code, std::uint8_t request, std::uint16_t value, void* out,
                      std::uint32_t outLen) override;
    int IoControl(std::uint32_t code, const void* in, std::uint32_t inLen, void* out, std::uint32_t outLen) override;

    // Waits until the printer the port last opened has left the bus and come
    // back (under any entry number, found by the last component of its
    // instance id), then reopens the port if it was open. Returns the code it
    // ends with (also lastError): 0x00010012 when the printer never left,
    // 0x00010013 when it never came back within timeoutMs; after either the
    // port selects that printer by its suffix, so that no later Open reaches
    // another printer that took its entry.
    ErrorCode WaitForReconnect(std::uint32_t timeoutMs) override;

    static constexpr int kReadChunk = 64;
    static constexpr int kWriteChunk = 4096;
    // Largest input or output of IoControl.
    static constexpr std::uint32_t kIoControlLimit = 1024;

    std::uint8_t rxBuffer[kReadChunk] = {};
    std::uint8_t* rxEnd = rxBuffer;     // end of the valid data
    std::uint8_t* rxCursor = rxBuffer;  // next byte to hand out; == rxEnd when empty

private:
    UsbPortSettings* Usb() const;
    // Reports code; gone notes that the printer has left the bus.
    void Fail(ErrorCode code, bool gone);
    // The printer last opened is no longer in the device list.
    bool EntryRemoved() const;
    void CloseHandle();
    // The system handle of a device path, or -1.
    int OpenDevice(const char* path);
    // A port for another entry, with the same device calls as this one.
    std::unique_ptr<CUsbPort> NewPort() const;
    // Reads up to kReadChunk bytes into the empty receive buffer, waiting up
    // to waitMs; false with lastError set when nothing came.
    bool Refill(std::uint32_t waitMs);
    int WriteChunk(const std::uint8_t* data, int length);
    // Waits until the driver has no transfer pending; onTimeout when the
    // deadline passes (or Abort comes) first, 0x0001000B when the device failed.
    bool WaitDrained(const detail::Deadline& deadline, ErrorCode onTimeout);
    // Closing the device kills its pending transfer; open it again at once.
    void CancelTransfer();
    // The instance id of the printer to wait for: the one opened last, else
    // the one at the port's entry now.
    bool ReconnectingId(std::string* id) const;

    DeviceIo* io = nullptr;
    std::string openedPath;        // device node of the last Open
    std::string openedInstanceId;  // and the printer it reached
    detail::WakeEvent wake;        // signalled by Abort
};

}  // namespace carillon
