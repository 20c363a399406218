#pragma once
// Start-up from the setup file, shared by the wizard and the command-line
// runner: the silent switch, the serial-port map, and the silent start that
// gives printer entry 0 the port the file names.

#include <string>

namespace carillon {

class CSetupIni;
class PrinterList;

// The files a silent update uses.
struct SilentJob {
    std::string firmwareFile;
    std::string outputFile;
};

// "General", "IsSilent": any number but 0 switches silent mode on.
bool IsSilentMode(const CSetupIni& ini);

// The "Serial ports" section ("COM1" to "COM15", device paths) replaces the
// serial ports the system reports; without any such key nothing changes.
void LoadSerialPortMap(const CSetupIni& ini);

// Empties the printer list and gives entry 0 the port of the section "Silent
// mode config" ("SERIAL" or "USB"; any other type gives no port), then reads
// the two file paths of "General".
SilentJob PrepareSilentStart(const CSetupIni& ini, PrinterList& printers);

}  // namespace carillon
