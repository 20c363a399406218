#include <iostream>
#include <string>
#include <vector>

#include "pkg/PkgTool.h"

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    return carillon::pkgtool::RunPkgTool(args, std::cout, std::cerr);
}
