#include "cli/Doctor.h"

#include <grp.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>

#include "cli/Cli.h"
#include "platform/Format.h"
#include "ports/SerialFifo.h"
#include "ports/SerialPortMap.h"
#include "ports/UsbDeviceSource.h"

namespace carillon::cli {
namespace {

struct Device {
    std::string name;  // COM3, USB1
    std::string path;
    int comNumber = 0;  // serial devices only
};

std::vector<Device> Devices() {
    std::vector<Device> devices;
    for (const auto& [number, path] : GetSerialPortMap())
        devices.push_back({"COM" + std::to_string(number), path, number});
    const auto usb = MakeUsbDeviceSource()->List();
    for (std::size_t i = 0; i < usb.size(); ++i) devices.push_back({"USB" + std::to_string(i + 1), usb[i].devicePath, 0});
    return devices;
}

std::string Canonical(const std::string& path) {
    std::error_code ec;
    const auto canonical = std::filesystem::canonical(path, ec);
    return ec ? path : canonical.string();
}

std::string ReadLine(const std::string& path) {
    std::ifstream in(path);
    std::string line;
    std::getline(in, line);
    return line;
}

// Every process, by pid, with its name and the files it holds open.
struct Process {
    std::string comm;
    std::vector<std::string> open;
};

std::map<int, Process> Processes(const std::string& proc) {
    std::map<int, Process> processes;
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator(proc, ec)) {
        const std::string name = entry.path().filename().string();
        if (name.empty() || name.find_first_not_of("0123456789") != std::string::npos) continue;
        Process p;
        p.comm = ReadLine(entry.path().string() + "/comm");
        std::error_code fdError;
        for (const auto& fd : std::filesystem::directory_iterator(entry.path() / "fd", fdError)) {
            std::error_code linkError;
            const auto target = std::filesystem::read_symlink(fd.path(), linkError);
            if (!linkError) p.open.push_back(target.string());
        }
        processes[std::stoi(name)] = std::move(p);
    }
    return processes;
}

// How to stop a program that takes printers' ports.
std::string StopAdvice(const std::string& comm, int pid) {
    if (comm == "ModemManager") return "sudo systemctl stop ModemManager (or disable it: it probes every new serial port)";
    if (comm == "brltty") return "sudo systemctl stop brltty, or remove it (sudo apt-get remove brltty) if no braille display is used";
    if (comm == "cupsd") return "sudo systemctl stop cups while flashing, or remove the printer from CUPS";
    return platform::Format("stop %s (pid %d) while flashing", comm.c_str(), pid);
}

std::string GroupOf(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) return "";
    const group* g = ::getgrgid(st.st_gid);
    return g != nullptr ? g->gr_name : std::to_string(st.st_gid);
}

class Doctor {
public:
    Doctor(bool fix, Reporter& reporter, const DoctorRoots& roots)
        : fix_(fix), reporter_(reporter), roots_(roots), processes_(Processes(roots.proc)) {}

    bool Run() {
        const std::vector<Device> devices = Devices();
        if (devices.empty()) Report("ports", true, "no serial port or USB printer device is known to this machine", "");
        for (const Device& d : devices) {
            std::error_code ec;
            if (!std::filesystem::exists(d.path, ec)) {
                Report(d.name, false, d.path + " does not exist", "check the cable, or the [Serial ports] section of SetupData/Setup.ini");
                continue;
            }
            Access(d);
            Holders(d);
            if (d.comNumber != 0) Latency(d);
        }
        Probers(devices);
        UdevRule();
        return allOk_;
    }

private:
    void Report(const std::string& what, bool ok, const std::string& detail, const std::string& fix) {
        allOk_ = allOk_ && ok;
        reporter_.Check(what, ok, detail, fix);
    }

    void Access(const Device& d) {
        if (::access(d.path.c_str(), R_OK | W_OK) == 0) {
            Report(d.name + " access", true, d.path + " can be read and written", "");
            return;
        }
        const std::string group = GroupOf(d.path);
        Report(d.name + " access", false, d.path + " cannot be read and written by this user",
               platform::Format("sudo usermod -aG %s $USER, then log in again", group.empty() ? "dialout" : group.c_str()));
    }

    void Holders(const Device& d) {
        const std::string device = Canonical(d.path);
        bool held = false;
        for (const auto& [pid, p] : processes_) {
            if (pid == static_cast<int>(::getpid())) continue;
            for (const std::string& open : p.open) {
                if (open != d.path && open != device) continue;
                held = true;
                Report(d.name + " in use", false, platform::Format("%s is held by %s (pid %d)", d.path.c_str(), p.comm.c_str(), pid),
                       StopAdvice(p.comm, pid));
                break;
            }
        }
        if (!held) Report(d.name + " in use", true, "no other program holds " + d.path, "");
    }

    void Latency(const Device& d) {
        const std::uint32_t latency = IsFifoEnabled(d.comNumber);
        if (latency <= 1) {
            Report(d.name + " latency", true,
                   latency == 0 ? "received bytes are handed over at once" : "no latency timer to check, or low latency is off", "");
            return;
        }
        if (fix_ && DisableFifo(d.comNumber, 0)) {
            Report(d.name + " latency", true, platform::Format("the latency timer was %u ms; it is now 1 ms", latency), "");
            return;
        }
        Report(d.name + " latency", false,
               platform::Format("the USB-serial latency timer holds received bytes for %u ms, slowing every exchange", latency),
               fix_ ? "run as root: carillon-cli doctor --fix" : "carillon-cli doctor --fix (as root)");
    }

    void Probers(const std::vector<Device>& devices) {
        const bool usbPrinters = std::any_of(devices.begin(), devices.end(), [](const Device& d) { return d.comNumber == 0; });
        for (const auto& [pid, p] : processes_) {
            if (p.comm == "ModemManager" || p.comm == "brltty")
                Report(p.comm, false, p.comm + " is running: it opens serial ports it finds and can disturb a printer",
                       StopAdvice(p.comm, pid));
            else if (p.comm == "cupsd" && usbPrinters)
                Report("cupsd", false, "CUPS is running and may hold the USB printers", StopAdvice(p.comm, pid));
        }
    }

    void UdevRule() {
        for (const std::string& dir : roots_.udevRules) {
            std::error_code ec;
            for (const auto& entry : std::filesystem::directory_iterator(dir, ec)) {
                const std::string name = entry.path().filename().string();
                if (name.find("carillon") != std::string::npos && entry.path().extension() == ".rules") {
                    Report("udev rule", true, entry.path().string() + " is installed", "");
                    return;
                }
            }
        }
        Report("udev rule", false, "no udev rule gives the printers' USB devices to the logged-in user",
               "install the Carillon package, or: sudo cp 60-carillon.rules /etc/udev/rules.d/ && sudo udevadm control "
               "--reload && sudo udevadm trigger --subsystem-match=usbmisc --action=change");
    }

    bool fix_;
    Reporter& reporter_;
    const DoctorRoots& roots_;
    std::map<int, Process> processes_;
    bool allOk_ = true;
};

}  // namespace

int RunDoctor(bool fix, Reporter& reporter, const DoctorRoots& roots) {
    const bool ok = Doctor(fix, reporter, roots).Run();
    reporter.Summary(ok, kOk, ok ? "every check passed" : "some checks failed; each says how to mend it");
    return ok ? kExitDone : kExitFailed;
}

}  // namespace carillon::cli
