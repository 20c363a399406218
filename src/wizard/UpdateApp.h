#pragma once
// CUpdateApp: the application object. It runs the wizard dialog modally and
// the program ends with it; there is no message loop of its own after it.

#include <string>

namespace carillon {

class CUpdateApp {
public:
    // firstArgument: the program's path as started (argv[0]).
    explicit CUpdateApp(std::string firstArgument) : m_strFirstArgument(std::move(firstArgument)) {}

    // Shows message boxes as Qt dialogs, runs the wizard until it ends and
    // tears it down. Always false: the program ends after it.
    bool InitInstance();

    // How the dialog ended (QDialog::Accepted or Rejected); only for reports.
    int DialogResult() const { return m_nDialogResult; }

private:
    std::string m_strFirstArgument;
    int m_nDialogResult = 0;
};

}  // namespace carillon
