#pragma once
// Line settings of a serial device (termios). Used by the serial port, and by
// anything that plays the far end of a pseudo-terminal and needs to know the
// rate and flow control the port chose.

#include <cstdint>

namespace carillon::serial {

struct LineState {
    std::uint32_t baudRate = 0;   // bits per second
    std::uint32_t handshake = 0;  // 1 RTS/CTS, 2 XON/XOFF, 3 none
};

// Puts an open tty into raw 8N1 at baudRate with the flow control of
// handshake, reads and writes returning at once. Returns false when fd is not
// a tty, the rate or handshake is unknown, or the line did not take them.
bool ConfigureLine(int fd, std::uint32_t baudRate, std::uint32_t handshake);

// Raises or drops the modem lines for handshake: DTR off; RTS on for
// handshake 3, off for 2 (the driver drives it for 1). Best effort: a device
// without modem lines (a pseudo-terminal) has nothing to set.
void SetModemLines(int fd, std::uint32_t handshake);

// The line settings of a tty; on a pseudo-terminal master, those of its slave.
bool ReadLineState(int fd, LineState* state);

// Rate setting through the kernel's free-rate interface, for rates without a
// constant of their own, both ways; whether a line runs at a rate both ways;
// and the rate a line sends at.
bool SetFreeBaudRate(int fd, std::uint32_t baudRate);
bool RunsAt(int fd, std::uint32_t baudRate);
bool GetBaudRate(int fd, std::uint32_t* baudRate);

}  // namespace carillon::serial
