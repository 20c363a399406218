#pragma once
// Which setup file, remembered-choices file and page picture a program uses.
// A program with a SetupData folder beside it (a build tree, or a copy kept
// in one folder) keeps everything in that folder. An installed program, one
// in a bin directory, reads the system-wide setup file under etc (never
// writing it), remembers each user's file choices under the user's
// configuration directory and takes its picture from share/carillon. The
// current directory is never looked at: setup comes from elsewhere only when
// a command names a folder.

#include <string>

namespace carillon {

// The user's configuration directories, as the environment gives them.
struct UserDirs {
    std::string xdgConfigHome;
    std::string home;

    static UserDirs FromEnvironment();
};

struct SetupLocation {
    bool installed = false;
    std::string setupFile;     // empty when there is none to look at
    std::string rememberFile;  // the user's own file of remembered choices; empty: the setup file keeps them
    std::string pictureFile;
};

// programFile: the running program's file (see RunningProgramFile).
SetupLocation LocateSetup(const std::string& programFile, const UserDirs& user);

// The running program's file from the path it was started by: a path with a
// directory is made absolute; a bare name (found through PATH) says nothing
// of where the program lies, so the system's own record of the running
// program is asked. Empty when neither tells.
std::string RunningProgramFile(const std::string& startedAs);

}  // namespace carillon
