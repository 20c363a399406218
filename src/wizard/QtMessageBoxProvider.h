#pragma once
// QtMessageBoxProvider: the message boxes of the platform service as
// QMessageBox dialogs. Every box is shown on the GUI thread; a worker that
// asks for one waits until the person has answered it.

#include <QMessageBox>

#include "platform/MessageBox.h"

namespace carillon {

class QtMessageBoxProvider final : public platform::MessageBoxProvider {
public:
    int Show(const platform::MessageBoxRequest& request) override;
};

// The buttons and icon the flags ask for.
QMessageBox::StandardButtons MessageBoxButtons(unsigned flags);
QMessageBox::Icon MessageBoxIcon(unsigned flags);
// The button that Enter and Escape press, when the flags choose one.
QMessageBox::StandardButton MessageBoxDefault(unsigned flags);
// The answer of a box with these flags that ended with result (a standard
// button, or anything else when it was closed without one).
int MessageBoxAnswer(int result, unsigned flags);

}  // namespace carillon
