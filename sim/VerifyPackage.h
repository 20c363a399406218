#pragma once
// Checks that a package sits in the printer's flash: every element meant for
// this printer has an entry of its name and type in the file table of its
// location, and the flash at the entry's address holds the element's bytes
// (its padded size) with the entry's CRC equal to the element's.

#include <string>
#include <vector>

#include "errors/ErrorCode.h"
#include "package/ElementList.h"
#include "sim/VirtualPrinter.h"

namespace carillon::sim {

enum class VerifyStatus {
    kOk,
    kMissing,        // no entry of that name and type in the table
    kSizeMismatch,   // the entry's size is not the element's
    kDataMismatch,   // the flash differs from the element's data
    kCrcMismatch,    // the entry's CRC is not the element's
    kNoTable,        // the location's table cannot be read
    kNotForPrinter,  // another family, or a location the printer lacks
};
const char* VerifyStatusText(VerifyStatus status);

struct ElementCheck {
    std::string name;
    int type = -1;
    int location = -1;
    VerifyStatus status = VerifyStatus::kOk;
    std::uint32_t address = 0;          // the entry's address, in the location's units
    std::uint32_t firstDifference = 0;  // for kDataMismatch: the first unit that differs
};

std::vector<ElementCheck> VerifyPackage(const VirtualPrinter& printer, const CElementList& package);
// Loads the package first; its load error, if any, is the result.
ErrorCode VerifyPackageFile(const VirtualPrinter& printer, const std::string& path, std::vector<ElementCheck>* checks);
// True when no element failed and at least one was for this printer
// (elements not for this printer do not count).
bool AllVerified(const std::vector<ElementCheck>& checks);
// False when nothing in the package is for this printer: no verdict at all.
bool AnyForPrinter(const std::vector<ElementCheck>& checks);
std::string FormatCheck(const ElementCheck& check);

}  // namespace carillon::sim
