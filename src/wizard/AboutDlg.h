#pragma once
// CAboutDlg: the program's icon, its name and version, and an OK button.

#include <QDialog>

namespace carillon {

class CAboutDlg : public QDialog {
public:
    explicit CAboutDlg(QWidget* parent = nullptr);
};

}  // namespace carillon
