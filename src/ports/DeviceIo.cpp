#include "ports/DeviceIo.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <unistd.h>

namespace carillon {
namespace {

class SystemCalls final : public DeviceIo {
public:
    int Open(const char* path) override {
        const int fd = ::open(path, O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
        if (fd == -1) return -1;
        if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
            ::close(fd);
            return -1;
        }
        return fd;
    }
    ssize_t Write(int fd, const void* data, size_t length) override { return ::write(fd, data, length); }
    ssize_t Read(int fd, void* buffer, size_t length) override { return ::read(fd, buffer, length); }
    int Poll(pollfd* fds, nfds_t count, int timeoutMs) override { return ::poll(fds, count, timeoutMs); }
    int Ioctl(int fd, unsigned long request, void* argument) override { return ::ioctl(fd, request, argument); }
    int Close(int fd) override { return ::close(fd); }
};

}  // namespace

DeviceIo& SystemDeviceIo() {
    static SystemCalls calls;
    return calls;
}

}  // namespace carillon
