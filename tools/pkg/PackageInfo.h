#pragma once
// What a package holds, as the people who build and check packages read it.

#include <iosfwd>
#include <string>

#include "errors/ErrorCode.h"
#include "package/ElementList.h"

namespace carillon::pkgtool {

// "(Error Code=%08Xh) " followed by the code's text, as the wizard shows it.
std::string DescribeError(ErrorCode code);

// The element count, then a table of one line per element: name, type,
// location, family, version, size, crypt mode, CRC and whether the CRC was
// checked.
void PrintElementTable(const CElementList& list, std::ostream& out);

// Loads the package at path and prints its table to out. On failure prints
// the error to err and returns 1; otherwise returns 0.
int PrintPackageInfo(const std::string& path, std::ostream& out, std::ostream& err);

}  // namespace carillon::pkgtool
