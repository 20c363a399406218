#pragma once
// The device calls a port makes, behind one seam: the system calls in the
// product, a model of a driver in tests that must show how the driver
// really completes, cancels and reports transfers.

#include <sys/types.h>

#include <cstddef>

struct pollfd;

namespace carillon {

class DeviceIo {
public:
    virtual ~DeviceIo() = default;
    // As open(2) with O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC: a descriptor, or -1 with errno.
    virtual int Open(const char* path) = 0;
    virtual ssize_t Write(int fd, const void* data, size_t length) = 0;
    virtual ssize_t Read(int fd, void* buffer, size_t length) = 0;
    // As poll(2); descriptors this object did not open are polled as they are.
    virtual int Poll(pollfd* fds, unsigned long count, int timeoutMs) = 0;
    virtual int Ioctl(int fd, unsigned long request, void* argument) = 0;
    virtual int Close(int fd) = 0;
};

// The system calls themselves; the descriptor is also locked exclusively on
// open, so that two ports never share one device.
DeviceIo& SystemDeviceIo();

}  // namespace carillon
