// The pages and the moves between them: the buttons, the "..." button, the
// edit box and the printer tree.

#include <QFileDialog>
#include <QFileInfo>
#include <QLineEdit>
#include <QPushButton>
#include <QTreeWidget>

#include "app/OutputBinary.h"
#include "app/RememberedFiles.h"
#include "app/StringTable.h"
#include "errors/ErrorMessages.h"
#include "platform/MessageBox.h"
#include "wizard/UpdateDlg.h"

namespace carillon {
namespace {

QString Text(int id) { return QString::fromStdString(LoadString(id)); }

}  // namespace

void CUpdateDlg::ShowPage() {
    // Hiding the page's controls must not take the focus away for good.
    QWidget* focused = focusWidget();
    m_btnPrevious->setText(Text(IDS_PREVIOUS));
    m_btnNext->setText(Text(IDS_NEXT));
    m_btnCancel->setText(Text(IDS_CANCEL));

    // Out of sight until the page places them.
    m_tree->hide();
    m_btnBrowse->hide();
    m_editFile->hide();
    m_btnBrowse->setGeometry(-10, -10, 1, 1);
    m_editFile->setGeometry(-10, -10, 1, 1);

    switch (m_nPage) {
        case 1:
            m_btnPrevious->setEnabled(false);
            m_btnNext->setEnabled(true);
            m_btnCancel->setEnabled(true);
            break;
        case 2:
            m_btnPrevious->setEnabled(true);
            m_btnNext->setEnabled(true);
            m_btnCancel->setEnabled(true);
            m_tree->show();
            if (m_pThread) m_pThread->m_bSearchRequested = 1;
            break;
        case 3:
        case 4:
            m_btnPrevious->setEnabled(true);
            m_btnNext->setEnabled(true);
            m_btnCancel->setEnabled(true);
            m_btnBrowse->show();
            m_editFile->show();
            break;
        case 5:
            m_btnPrevious->setEnabled(false);
            m_btnNext->setEnabled(false);
            m_btnCancel->setEnabled(true);  // asks whether to stop the update
            if (m_pThread) {
                // Silent mode has no search: its one port sits in entry 0.
                CPort* port = m_pThread->m_printers.EntryPort(m_pThread->m_bSilent ? 0 : -1);
                m_pThread->RequestUpdate(port, m_strFirmwareFile, m_strOutputFile);
            }
            break;
        case 6:
        case 7:
            m_btnPrevious->setEnabled(true);
            m_btnNext->setEnabled(false);
            m_btnCancel->setEnabled(true);
            if (m_nPage == 7) {
                m_btnPrevious->setText(Text(IDS_RESTART));
                m_btnCancel->setText(Text(IDS_FINISH));
            }
            break;
        default: break;
    }
    // The focus stays where it was. Where that control has left the page it
    // goes to Next, or nowhere: never by chance to a button that Enter, held
    // down, would click to end or rerun something.
    if (focused != nullptr && focused->isVisible() && focused->isEnabled())
        focused->setFocus();
    else if (m_btnNext->isEnabled())
        m_btnNext->setFocus();
    else if (QWidget* chance = focusWidget())
        chance->clearFocus();
    PaintPage();
}

void CUpdateDlg::OnNext() {
    switch (m_nPage) {
        case 1: m_nPage = 2; break;
        case 2: {
            const std::string label = m_pThread ? m_pThread->m_printers.EntryLabel(-1) : std::string();
            if (label.empty() || label == kSearchingLabel) {
                const int answer = platform::MessageBox(&m_target, LoadString(IDS_NO_PRINTER_QUESTION), "",
                                                        platform::MB_YESNO | platform::MB_ICONEXCLAMATION);
                if (answer != platform::IDYES) return;
            }
            m_nPage = 3;
            break;
        }
        case 3:
            m_strFirmwareFile = m_strEdit;
            if (m_strFirmwareFile.empty()) {
                platform::MessageBox(&m_target, LoadString(IDS_SELECT_FIRMWARE), "", platform::MB_ICONERROR);
                return;
            }
            m_nPage = 4;
            break;
        case 4:
            m_strOutputFile = m_strEdit;  // empty: no output file
            if (!m_strOutputFile.empty()) {
                std::vector<std::string> inputs = SetupFiles();
                inputs.push_back(m_strFirmwareFile);
                if (const ErrorCode e = CheckOutputBinaryPath(m_strOutputFile, inputs); e != kOk) {
                    platform::MessageBox(&m_target, GetErrorMessage(e) + "\n" + m_strOutputFile, "",
                                         platform::MB_ICONERROR);
                    return;
                }
            }
            m_nPage = 5;
            break;
        default: break;
    }
    ShowPage();
}

void CUpdateDlg::OnPrevious() {
    switch (m_nPage) {
        case 2:
        case 7: m_nPage = 1; break;
        case 3: m_nPage = 2; break;
        case 4:
        case 6: m_nPage = 3; break;
        default: break;
    }
    ShowPage();
}

void CUpdateDlg::OnCancelButton() {
    if (!UpdateRunning()) {
        reject();
        return;
    }
    // Stopping leaves the printer half updated: only a deliberate Yes does it.
    const int answer = platform::MessageBox(&m_target, LoadString(IDS_STOP_QUESTION), "",
                                            platform::MB_YESNO | platform::MB_ICONEXCLAMATION | platform::MB_DEFBUTTON2);
    if (answer == platform::IDYES && UpdateRunning()) m_pThread->RequestStop();
}

void CUpdateDlg::OnBrowse() {
    if (m_nPage != 3 && m_nPage != 4) return;
    const bool firmware = m_nPage == 3;
    const FileDialogRequest request =
        firmware ? FileDialogRequest{".VRK_Package", "", LoadString(IDS_PACKAGE_FILTER)}
                 : FileDialogRequest{".VRK_Package.bin", "noname.VRK_Package.bin", LoadString(IDS_BINARY_FILTER)};
    const std::optional<std::string> chosen = m_fileDialog ? m_fileDialog(request) : RunFileDialog(request);
    if (!chosen) return;

    m_strEdit = *chosen;
    m_editFile->setText(QString::fromStdString(m_strEdit));
    // Kept for this run even when it cannot be remembered for the next.
    (firmware ? m_strFirmwareFile : m_strOutputFile) = *chosen;
    m_pRemembered->Set(firmware ? "Firmware File" : "Output Binary", *chosen);
}

std::optional<std::string> CUpdateDlg::RunFileDialog(const FileDialogRequest& request) {
    // An open dialog that still lets a new name be typed (the output file).
    QFileDialog dialog(this);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setNameFilters(QtNameFilters(request.filter));
    dialog.setDefaultSuffix(QString::fromStdString(request.defaultExtension).mid(1));
    // Start where the file already chosen lies, not in the working directory.
    if (!m_strEdit.empty()) dialog.setDirectory(QFileInfo(QString::fromStdString(m_strEdit)).absolutePath());
    if (!request.initialName.empty()) dialog.selectFile(QString::fromStdString(request.initialName));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return std::nullopt;
    return dialog.selectedFiles().front().toStdString();
}

void CUpdateDlg::OnEditChange() { m_strEdit = m_editFile->text().toStdString(); }

void CUpdateDlg::OnTreeNotify() {
    if (m_pThread) m_pThread->m_printers.OnTreeSelChanged();
}

QStringList QtNameFilters(const std::string& filter) {
    QStringList names;
    const QStringList fields = QString::fromStdString(filter).split(QLatin1Char('|'));
    for (qsizetype i = 0; i + 1 < fields.size() && !fields[i].isEmpty(); i += 2) {
        QString label = fields[i];
        // The label names its patterns; they are given again below.
        if (const qsizetype open = label.lastIndexOf(QLatin1String(" ("));
            open > 0 && label.endsWith(QLatin1Char(')')))
            label.truncate(open);
        QStringList patterns = fields[i + 1].split(QLatin1Char(';'), Qt::SkipEmptyParts);
        for (QString& pattern : patterns)
            if (pattern == QLatin1String("*.*")) pattern = QStringLiteral("*");
        names << label + QLatin1String(" (") + patterns.join(QLatin1Char(' ')) + QLatin1Char(')');
    }
    return names;
}

}  // namespace carillon
