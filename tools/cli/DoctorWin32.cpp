// The doctor on Windows: whether each COM port can be opened now, and its
// UART FIFO setting. What only other systems can tell is said, not guessed.
#include "cli/Cli.h"
#include "cli/Doctor.h"
#include "platform/Format.h"
#include "ports/SerialFifo.h"
#include "ports/SerialPortMap.h"
#include "ports/UsbDeviceSource.h"

// After our headers: its macros would rename names in them.
#include <windows.h>

namespace carillon::cli {
namespace {

// Only an onboard UART has the FIFO setting at all.
bool HasFifoSetting(int comNumber) {
    const std::string key = platform::Format(
        "SYSTEM\\CurrentControlSet\\Enum\\ACPI\\PNP0501\\%d\\Device Parameters", comNumber);
    HKEY handle = nullptr;
    if (::RegOpenKeyExA(HKEY_LOCAL_MACHINE, key.c_str(), 0, KEY_QUERY_VALUE, &handle) != ERROR_SUCCESS) return false;
    ::RegCloseKey(handle);
    return true;
}

class Doctor {
public:
    Doctor(bool fix, Reporter& reporter) : fix_(fix), reporter_(reporter) {}

    bool Run() {
        const SerialPortMap ports = GetSerialPortMap();
        const auto usb = MakeUsbDeviceSource()->List();
        if (ports.empty() && usb.empty()) {
            Report("ports", true, "no COM port or USB printer is known to this machine", "");
        }
        for (const auto& [number, path] : ports) {
            const std::string name = "COM" + std::to_string(number);
            Opening(name, path);
            Fifo(name, number);
        }
        for (std::size_t i = 0; i < usb.size(); ++i) {
            Report("USB" + std::to_string(i + 1), true, usb[i].instanceId + " is listed by the USB printer driver", "");
        }
        reporter_.Note("not checked on Windows: which program holds a port (a port in use only shows as one that "
                       "cannot be opened), and whether a USB printer can be opened");
        return allOk_;
    }

private:
    void Report(const std::string& what, bool ok, const std::string& detail, const std::string& fix) {
        allOk_ = allOk_ && ok;
        reporter_.Check(what, ok, detail, fix);
    }

    void Opening(const std::string& name, const std::string& path) {
        HANDLE device = ::CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0,
                                      nullptr);
        if (device != INVALID_HANDLE_VALUE) {
            ::CloseHandle(device);
            Report(name + " access", true, name + " can be opened", "");
            return;
        }
        const DWORD error = ::GetLastError();
        if (error == ERROR_ACCESS_DENIED || error == ERROR_SHARING_VIOLATION) {
            Report(name + " in use", false, name + " is held by another program",
                   "close the program that uses " + name + " while flashing");
            return;
        }
        Report(name + " access", false, platform::Format("%s cannot be opened (system error %lu)", name.c_str(), error),
               "check the cable and the port's driver in the Device Manager");
    }

    void Fifo(const std::string& name, int number) {
        if (!HasFifoSetting(number)) {
            Report(name + " FIFO", true, "no UART FIFO setting (not an onboard UART)", "");
            return;
        }
        if (IsFifoEnabled(number) == 0) {
            Report(name + " FIFO", true, "the UART FIFO is off", "");
            return;
        }
        if (fix_ && DisableFifo(number, 0)) {
            Report(name + " FIFO", true, "the UART FIFO was on; it is now off (after a restart of the system)", "");
            return;
        }
        Report(name + " FIFO", false, "the UART FIFO is on, which delays received bytes",
               fix_ ? "run as administrator: carillon-cli doctor --fix" : "carillon-cli doctor --fix (as administrator)");
    }

    bool fix_;
    Reporter& reporter_;
    bool allOk_ = true;
};

}  // namespace

int RunDoctor(bool fix, Reporter& reporter, const DoctorRoots& /*roots*/) {
    const bool ok = Doctor(fix, reporter).Run();
    reporter.Summary(ok, kOk, ok ? "every check passed" : "some checks failed; each says how to mend it");
    return ok ? kExitDone : kExitFailed;
}

}  // namespace carillon::cli
