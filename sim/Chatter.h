#pragma once
// A device that is no printer and never stops talking: a receiver streaming
// NMEA-like text lines, or a line stuck sending zeros. It sits on a
// pseudo-terminal like PtyPrinter (or in the USB device list with --usb),
// ignores whatever the PC sends and keeps the line full, so that every read
// of an identification or a packet must give up on its own.

#include <atomic>
#include <string>
#include <thread>

#include "sim/UsbDeviceList.h"

namespace carillon::sim {

enum class ChatterKind { kNone, kText, kZeros };

class Chatter {
public:
    // usbList empty: a serial device; otherwise registered there as instanceId.
    Chatter(ChatterKind kind, std::string usbList, std::string instanceId);
    ~Chatter();
    Chatter(const Chatter&) = delete;
    Chatter& operator=(const Chatter&) = delete;

    bool Start(std::string* error);
    void Stop();
    const std::string& DevicePath() const { return m_path; }
    // Bytes put on the line so far.
    unsigned long long Sent() const { return m_sent; }

private:
    void Run();

    const ChatterKind m_kind;
    UsbDeviceList m_usbList;
    const std::string m_instanceId;
    int m_master = -1;
    int m_slave = -1;  // held open: the master never sees a hang-up between the PC's opens
    int m_wake[2] = {-1, -1};
    std::string m_path;
    bool m_registered = false;
    std::atomic<unsigned long long> m_sent{0};
    std::thread m_thread;
};

// carillon-vprinter --chatter: runs one until SIGINT or SIGTERM; the exit status.
int RunChatter(ChatterKind kind, bool usb, const std::string& instanceId);

}  // namespace carillon::sim
