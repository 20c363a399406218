#pragma once
// A pseudo-terminal pair in raw mode, its master non-blocking: the printer's
// end and the device a PC opens.

#include <string>

namespace carillon::sim {

// Sets *master and *slave as it opens them (the caller closes them, also
// after a failure) and *path to the device. False with what failed in *error.
bool OpenRawPty(int* master, int* slave, std::string* path, std::string* error);

}  // namespace carillon::sim
