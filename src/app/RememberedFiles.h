#pragma once
// The firmware package and output binary last chosen with the wizard's "..."
// buttons ("Firmware File" and "Output Binary" of "General"). A choice holds
// for the rest of the run even when it cannot be kept for the next one (a
// file that cannot be written); before any choice, the remembered file's
// value is used, and without one the setup file's.

#include <map>
#include <string>

namespace carillon {

class CSetupIni;

class CRememberedFiles {
public:
    // rememberFile: a file of the user's own where choices are kept across
    // runs, created with its folder when first needed; empty: the setup file
    // keeps them, when it can be written.
    CRememberedFiles(CSetupIni& setup, std::string rememberFile);

    std::string Get(const std::string& key) const;
    // False when the choice could not be kept for the next run.
    bool Set(const std::string& key, const std::string& value);

private:
    CSetupIni& m_setup;
    std::string m_strRememberFile;
    std::map<std::string, std::string> m_chosen;
};

}  // namespace carillon
