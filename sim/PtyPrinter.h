#pragma once
// PtyPrinter: runs a VirtualPrinter on the master side of a pseudo-terminal,
// in a thread of its own. As a serial printer it reads the PC's rate and
// handshake from the terminal settings at each read (bytes at another rate
// are noise to the printer). As a USB printer it puts the pty in raw mode
// itself, registers "<instance id>\t<slave path>" in the USB device list,
// and when the printer re-enumerates it removes its line, waits, and comes
// back on a new pty under the same instance id.

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>

#include "sim/PacedLink.h"
#include "sim/UsbDeviceList.h"
#include "sim/VirtualPrinter.h"

namespace carillon::sim {

class PtyPrinter {
public:
    enum class Mode { kSerial, kUsb };

    // usbList: the device list file (USB mode); empty takes it from the environment.
    PtyPrinter(VirtualPrinter& printer, Mode mode, std::string usbList = {});
    ~PtyPrinter();
    PtyPrinter(const PtyPrinter&) = delete;
    PtyPrinter& operator=(const PtyPrinter&) = delete;

    bool Start(std::string* error = nullptr);
    // Ends the thread and removes what it registered; also done by the destructor.
    void Stop();

    // The slave device the PC opens (a new one after each USB re-enumeration).
    std::string DevicePath() const;
    // How many times the printer came back on a new pty.
    std::uint32_t Reconnections() const { return m_reconnections; }

private:
    bool OpenPty(std::string* error);
    void ClosePty();
    void Run();
    LineSettings CurrentLine() const;
    // Waits for the stop request up to ms; true when stopping.
    bool Pause(int ms);
    // Leaves the bus and comes back on a new pty; true when asked to stop meanwhile.
    bool Reenumerate(PacedLink& link);
    void Flush();

    VirtualPrinter& m_printer;
    const Mode m_mode;
    UsbDeviceList m_usbList;
    int m_master = -1;
    int m_slave = -1;  // held open so that the master never sees a hang-up between the PC's opens
    int m_wake[2] = {-1, -1};
    std::thread m_thread;
    mutable std::mutex m_pathMutex;
    std::string m_path;
    bool m_registered = false;
    std::uint32_t m_generation = 0;
    std::atomic<std::uint32_t> m_reconnections{0};
    ByteArray m_unwritten;
};

}  // namespace carillon::sim
