#include "errors/ErrorMessages.h"

#include <algorithm>
#include <array>
#include <cstdio>

namespace carillon {
namespace {

struct ErrorText {
    ErrorCode code;
    const char* text;
};

// Sorted by code for the binary search below. The texts are shown to users
// exactly as printed here, blanks and spelling included.
constexpr std::array kErrorTexts = {
    ErrorText{0x00000000, "Successful."},
    ErrorText{0x00010001, "The port is already  open"},
    ErrorText{0x00010002, "Can not open the port"},
    ErrorText{0x00010003, "The port has not been set"},
    ErrorText{0x00010004, "The port can't be opened"},
    ErrorText{0x00010005, "The port can't be closed"},
    ErrorText{0x00010006, "The port is already  closed"},
    ErrorText{0x00010007, "Wrong port setting"},
    ErrorText{0x00010008, "Wrong port setting (Port not valid)"},
    ErrorText{0x00010009, "Wrong port setting (Baudrate not valid)"},
    ErrorText{0x0001000A, "Wrong port setting (Handshake not valid)"},
    ErrorText{0x0001000B, "Can't send a byte"},
    ErrorText{0x0001000C, "Can't read a byte"},
    ErrorText{0x0001000D, "Can't purge the buffer"},
    ErrorText{0x0001000E, "Flushing timeout"},
    ErrorText{0x0001000F, "Writing timeout"},
    ErrorText{0x00010010, "Reading timeout"},
    ErrorText{0x00010011, "Error while enumerating printer ports"},
    ErrorText{0x00020001, "Memory not blank"},
    ErrorText{0x00020002, "Port not found"},
    ErrorText{0x00020003, "No Printer has been connected"},
    ErrorText{0x00020004, "Packet is too Short"},
    ErrorText{0x00020005, "Packet is too Long"},
    ErrorText{0x00020006, "CRC packet is wrong"},
    ErrorText{0x00020007, "Packet timestamp is wrong"},
    ErrorText{0x00020008, "Address out of range"},
    ErrorText{0x00020009, "Wrong monitor command"},
    ErrorText{0x0002000A, "Printer has returned an unknown answer"},
    ErrorText{0x0002000B, "Printer monitor version is newer than this application. Please upgrade"},
    ErrorText{0x0002000C, "EOF not found at the end of the packet"},
    ErrorText{0x00020011, "Data type is unknown to this monitor"},
    ErrorText{0x00020012, "File type is unknown to this monitor"},
    ErrorText{0x00020013, "Flash type not in this printer"},
    ErrorText{0x00020014, "Location is unknown to this monitor (or not implemented)"},
    ErrorText{0x00020015, "Encryption is unknown to this monitor (or not implemented)"},
    ErrorText{0x00020016, "Printer cannot accept this packet size (too big)"},
    ErrorText{0x00020017, "Unknown external FLASH type"},
    ErrorText{0x00030001, "A file entry parameter is out of range."},
    ErrorText{0x00030002, "The File is corrupted."},
    ErrorText{0x00030003, "The First files entry is not a Index file."},
    ErrorText{0x00030004, "The file entry end is not found."},
    ErrorText{0x00030005, "there is enough entry to add an other file."},
    ErrorText{0x00030006, "file entry size is wrong."},
    ErrorText{0x00030007, "the data file is not found."},
    ErrorText{0x00030008, "it can't read Data file."},
    ErrorText{0x00030009, "The file Size mismatch."},
    ErrorText{0x0003000A, "the Element is marked saved but it address is not defined."},
    ErrorText{0x0003000B, "there is not enough place."},
    ErrorText{0x0003000C, "It want set a Flash address but it is already allocated."},
    ErrorText{0x0003000D, "Only One Firmware is allowed."},
    ErrorText{0x0003000E, "There is too many File Entry."},
    ErrorText{0x0003000F, "There isn't enough place for firmware."},
    ErrorText{0x00030010, "You can't add 2 firmwares."},
    ErrorText{0x00030011, "the File Entry is corrupted."},
    ErrorText{0x00030012, "Wrong file type."},
    ErrorText{0x00030013, "Wrong answer."},
    ErrorText{0x00030014, "there are too many error."},
    ErrorText{0x00030015, "there is one or more element not saved."},
    ErrorText{0x00030016, "this location is unknown."},
    ErrorText{0x00030017, "Wrong Flash type."},
    ErrorText{0x00030018, "Flash geometry isn't updated."},
    ErrorText{0x00030019, "Location is not present."},
    ErrorText{0x00030020, "Sector Error."},
    ErrorText{0x00030021, "Sector isn't allocated."},
    ErrorText{0x00030022, "Address isn't allocated."},
    ErrorText{0x00030023, "A Process is currently running."},
    ErrorText{0x00030024, "thread was not created (COMMANDGENE)."},
    ErrorText{0x00030025, "Table isn't uptodate"},
    ErrorText{0x00030026, "element position is invalide"},
    ErrorText{0x00030027, "An element have an fixed address but it can't be put at this address."},
    ErrorText{0x00030030, "The update was stopped by the user; run the same update again to finish it."},
    ErrorText{0x00040001, "There is some error in the file format."},
    ErrorText{0x00040002, "Wrong number of element."},
    ErrorText{0x00040003, "There is Field with a wrong format."},
    ErrorText{0x00040004, "A mandatory field is missng."},
    ErrorText{0x00040005, "The element Crc is wrong."},
    ErrorText{0x00040006, "The element Size is impossible."},
    ErrorText{0x00040007, "The cryptation function is not included. "},
    ErrorText{0x00040008, "This location is unknown of CELEMENT. "},
    ErrorText{0x00040009, "This element type is unknown of CELEMENT. "},
    ErrorText{0x0004000A, "CELEMENT doesn't know this location. "},
    ErrorText{0x00050001, "No printer found at this offset"},
    ErrorText{0x00050002, "Can not open the port"},
    ErrorText{0x00050003, "Unknown Printer type"},
    ErrorText{0x00050004, "This command is not available on that printer command set"},
    ErrorText{0x00060001, "there is an unknown printer."},
    ErrorText{0x00060002, " there are too many firmware "},
    ErrorText{0x00060003, " the first font must be a font A "},
    ErrorText{0x00060004, " the second font must be a font B "},
    ErrorText{0x00060005, " Missing font A."},
    ErrorText{0x00060006, " Missing font B."},
    ErrorText{0x00060007, " Missing DSP firmware."},
    ErrorText{0x00060008, " Missing MCU firmware."},
    ErrorText{0x00060009, " Missing PARAM DSP."},
    ErrorText{0x0006000A, " Missing PARAM MCU."},
    ErrorText{0x0006000B, " there is an incompatible element."},
    ErrorText{0x0006000C, " there is an incompatible location."},
    ErrorText{0x0006000D, " Missing Kiosk board firmware."},
    ErrorText{0x00060010, " there are too many params factory."},
    ErrorText{0x00060011, " there are too many params customer."},
    ErrorText{0x00060012, "Params Factory is missing in mcu."},
    ErrorText{0x00060013, "Params Customer is missing in mcu."},
    ErrorText{0x00060014, "Params Factory is missing in presenter board."},
    ErrorText{0x00060015, "Params Customer is missing in presenter board."},
    ErrorText{0x00070001, "Cannot enumerate Cyclone PRO devices"},
    ErrorText{0x00070002, "Undefined Cyclone PRO port"},
    ErrorText{0x00070003, "Cannot open Cyclone PRO device"},
    ErrorText{0x00070004, "Cannot toggle Cyclone PRO target power"},
    ErrorText{0x00070005, "Cannot set global Cyclone PRO timeout"},
    ErrorText{0x00070006, "Cannot clear global Cyclone PRO timeout"},
    ErrorText{0x00070007, "Error during execution of pre-programmed Cyclone PRO functions"},
    ErrorText{0x00070008, "EM (Erase Module) is an invalid function"},
    ErrorText{0x00070009, "BM (Blank Check Module) is an invalid function"},
    ErrorText{0x0007000A, "PM (Program Module) is an invalid function"},
    ErrorText{0x0007000B, "VM (Verify Module) is an invalid function"},
    ErrorText{0x0007000C, "PT (Program Trim) is an invalid function"},
    ErrorText{0x0007000D, "Invalid user function number"},
    ErrorText{0x0007000E, "Cannot update Cyclone PRO image"},
    ErrorText{0x0007000F, "Cannot get Cyclone PRO image description"},
    ErrorText{0x00080001, "Cannot open specified log file"},
    ErrorText{0x00080002, "Log file is not opened"},
    ErrorText{0x00080003, "Log file is already opened"},
    ErrorText{0x00080004, "Error while searching directory for log files"},
    ErrorText{0x00090001, "Invalid parameter limits"},
    ErrorText{0x00090002, "Invalid default value"},
    ErrorText{0x00090003, "Invalid parameter type"},
    ErrorText{0x00090004, "No section defined"},
    ErrorText{0x00090005, "No parameter file defined"},
    ErrorText{0x00090006, "Cannot open template file"},
    ErrorText{0x00090007, "Cannot create parameter object"},
    ErrorText{0x000B0001, "there is an error on NODATA arg"},
    ErrorText{0x000B0002, "there is an error on a INT arg"},
    ErrorText{0x000B0003, "there is an error on STRING arg"},
    ErrorText{0x000B0004, "there is an arg with unknown type"},
    ErrorText{0x000B0005, "there is an option unknown"},
    ErrorText{0x000B0006, "there is an arg not found"},
    ErrorText{0x01000001, "Malloc Error not enough of memory"},
    ErrorText{0x01000002, "This funtion is not Supported. Check if a newest version exists"},
    ErrorText{0x01000003, "File not found"},
    ErrorText{0x01000004, "Error in the File Size"},
    ErrorText{0x01000005, "Error: File is empty"},
    ErrorText{0x01000006, "Error when a file reading is attempted"},
    ErrorText{0x01000007, " This file already exits, erase old file and try again."},
};

static_assert(std::is_sorted(kErrorTexts.begin(), kErrorTexts.end(),
                             [](const ErrorText& a, const ErrorText& b) { return a.code < b.code; }));

}  // namespace

std::string GetErrorMessage(ErrorCode code) {
    auto it = std::lower_bound(kErrorTexts.begin(), kErrorTexts.end(), code,
                               [](const ErrorText& row, ErrorCode c) { return row.code < c; });
    if (it != kErrorTexts.end() && it->code == code) return it->text;

    char buffer[64];
    if (IsMonitorFailure(code)) {
        std::snprintf(buffer, sizeof buffer, "Printer has replied 'ANS_FAILURE' Flags:0x%02X",
                      static_cast<unsigned>(code & 0xFFu));
    } else {
        std::snprintf(buffer, sizeof buffer, "This Error is not supported : %8X ",
                      static_cast<unsigned>(code));
    }
    return buffer;
}

}  // namespace carillon
