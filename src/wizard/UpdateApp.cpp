#include "wizard/UpdateApp.h"

#include "platform/MessageBox.h"
#include "wizard/QtMessageBoxProvider.h"
#include "wizard/UpdateDlg.h"

namespace carillon {

bool CUpdateApp::InitInstance() {
    QtMessageBoxProvider boxes;
    platform::ScopedMessageBoxProvider showBoxes(&boxes);
    {
        CUpdateDlg dialog(nullptr, m_strFirstArgument);
        m_nDialogResult = dialog.exec();
    }  // the worker, and any job it still finishes, ends inside here
    return false;
}

}  // namespace carillon
