// Linked into every test program, with udev's device scan wrapped by the
// linker: a test that looks for serial or USB devices without a scoped map or
// device source would reach whatever this machine has (and open its UARTs).
// Such a scan fails the test and finds nothing. A sysfs mocked by umockdev is
// no real system, so scans under it go through.
#include <gtest/gtest.h>
#include <libudev.h>

#include <cerrno>
#include <cstdlib>

extern "C" int __real_udev_enumerate_scan_devices(udev_enumerate* enumerate);

extern "C" int __wrap_udev_enumerate_scan_devices(udev_enumerate* enumerate) {
    if (std::getenv("UMOCKDEV_DIR") != nullptr) return __real_udev_enumerate_scan_devices(enumerate);
    ADD_FAILURE() << "code under test enumerated this machine's devices: give the test a ScopedSerialPortMap "
                     "and a USB device source of its own";
    return -EPERM;
}
