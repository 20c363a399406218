#include "app/SilentStart.h"

#include <memory>

#include "app/SetupIni.h"
#include "discovery/PrinterList.h"
#include "ports/SerialPort.h"
#include "ports/SerialPortMap.h"
#include "ports/UsbPort.h"

namespace carillon {
namespace {

constexpr const char* kGeneral = "General";
constexpr const char* kSilentConfig = "Silent mode config";
constexpr const char* kSerialPorts = "Serial ports";

}  // namespace

bool IsSilentMode(const CSetupIni& ini) { return ini.GetInt(kGeneral, "IsSilent", 0) != 0; }

void LoadSerialPortMap(const CSetupIni& ini) {
    SerialPortMap map;
    for (int n = 1; n <= kHighestComNumber; ++n) {
        const std::string path = ini.GetString(kSerialPorts, "COM" + std::to_string(n), "");
        if (!path.empty()) map[n] = path;
    }
    if (!map.empty()) SetSerialPortMap(std::move(map));
}

SilentJob PrepareSilentStart(const CSetupIni& ini, PrinterList& printers) {
    printers.ResetPrinterList();
    const std::string type = ini.GetString(kSilentConfig, "Port type", "");
    std::unique_ptr<CPort> port;
    if (type == "SERIAL") {
        port = std::make_unique<CSerialPort>();
        const auto handshake = static_cast<std::uint32_t>(ini.GetInt(kSilentConfig, "Handshake", 0));
        const auto baudRate = static_cast<std::uint32_t>(ini.GetInt(kSilentConfig, "Baudrate", 0));
        const auto number = static_cast<std::uint8_t>(ini.GetInt(kSilentConfig, "Port", 0) & 0xFF);
        SerialPortSettings settings(number, baudRate, handshake);
        port->SetSettings(&settings);
    } else if (type == "USB") {
        port = std::make_unique<CUsbPort>();
        const auto number = static_cast<std::uint8_t>(ini.GetInt(kSilentConfig, "Port", 0) & 0xFF);
        UsbPortSettings settings(number, "");
        port->SetSettings(&settings);
    }
    printers.SetEntryPort(0, std::move(port));
    return SilentJob{ini.GetString(kGeneral, "Firmware File", ""), ini.GetString(kGeneral, "Output Binary", "")};
}

}  // namespace carillon
