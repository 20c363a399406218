// The dialog's life: construction, initialisation, the worker's messages,
// the keys it acts on, closing and the end of the dialog.

#include "wizard/UpdateDlg.h"

#include <QContextMenuEvent>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QScreen>
#include <QTreeWidget>
#include <cerrno>

#include "app/RememberedFiles.h"
#include "app/SetupIni.h"
#include "app/SilentStart.h"
#include "app/StringTable.h"
#include "platform/Format.h"
#include "platform/MessageBox.h"
#include "wizard/AboutDlg.h"
#include "wizard/VersionInfo.h"
#include "wizard/art/Artwork.h"

namespace carillon {
namespace {

QPushButton* MakeButton(QWidget* parent, int id, const char* text) {
    auto* button = new QPushButton(QString::fromUtf8(text), parent);
    button->setObjectName(QString::number(id));
    // No button is the default one: Enter is the dialog's business.
    button->setAutoDefault(false);
    button->setDefault(false);
    return button;
}

}  // namespace

CUpdateDlg::CUpdateDlg(QWidget* parent, const std::string& firstArgument)
    : QDialog(parent),
      m_location(LocateSetup(RunningProgramFile(firstArgument), UserDirs::FromEnvironment())),
      m_imageList(MakePrinterTreeImages()),
      m_hIcon(QPixmap::fromImage(art::DrawProgramIcon(64))),
      m_target(this) {
    setWindowTitle(QStringLiteral("Carillon"));
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setPixelSize(12);
    setFont(font);

    // In the order of their ids, which is also the tab order.
    m_btnPrevious = MakeButton(this, IDC_PREVIOUS, "Previous");
    m_btnNext = MakeButton(this, IDC_NEXT, "Next");
    m_btnCancel = MakeButton(this, IDC_CANCEL, "Cancel");
    m_tree = new QTreeWidget(this);
    m_tree->setObjectName(QString::number(IDC_TREE));
    m_tree->setHeaderHidden(true);
    m_tree->setRootIsDecorated(true);
    m_tree->setIconSize(QSize(16, 16));
    m_editFile = new QLineEdit(this);
    m_editFile->setObjectName(QString::number(IDC_EDIT_FILE));
    m_btnBrowse = MakeButton(this, IDC_BROWSE, "...");
    m_treeControl = std::make_unique<QtTreeControl>(m_tree);

    connect(m_btnCancel, &QPushButton::clicked, this, [this] { OnCancelButton(); });
    connect(m_btnNext, &QPushButton::clicked, this, [this] { OnNext(); });
    connect(m_btnPrevious, &QPushButton::clicked, this, [this] { OnPrevious(); });
    connect(m_tree, &QTreeWidget::itemClicked, this, [this] { OnTreeNotify(); });
    connect(m_tree, &QTreeWidget::currentItemChanged, this, [this] { OnTreeNotify(); });
    connect(m_btnBrowse, &QPushButton::clicked, this, [this] { OnBrowse(); });
    connect(m_editFile, &QLineEdit::textChanged, this, [this] { OnEditChange(); });

    // Messages to the dialog and to its controls pass here before they are handled.
    installEventFilter(this);
    for (QWidget* child : {static_cast<QWidget*>(m_btnPrevious), static_cast<QWidget*>(m_btnNext),
                           static_cast<QWidget*>(m_btnCancel), static_cast<QWidget*>(m_tree),
                           static_cast<QWidget*>(m_editFile), static_cast<QWidget*>(m_btnBrowse)})
        child->installEventFilter(this);
}

CUpdateDlg::~CUpdateDlg() {
    m_pSplash.reset();
    m_pRemembered.reset();
    m_pSetupIni.reset();
    // Joins the worker after the job it runs, if any; the tree control and
    // the message target it uses are members and outlive it.
    m_pThread.reset();
}

bool CUpdateDlg::OnInitDialog() {
    if (m_bInitialised) return true;
    m_bInitialised = true;

    setWindowIcon(m_hIcon);
    setFixedSize(kPageWidth, kPageHeight);
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - QPoint(kPageWidth / 2, kPageHeight / 2));
    m_btnPrevious->setGeometry(231, 362, 75, 23);
    m_btnNext->setGeometry(315, 362, 75, 23);
    m_btnCancel->setGeometry(396, 362, 75, 23);

    // An installed program only reads the system-wide file; users' choices go to files of their own.
    m_pSetupIni = std::make_unique<CSetupIni>(m_location.setupFile,
                                              m_location.installed ? SetupAccess::kReadOnly : SetupAccess::kReadWrite);
    m_pRemembered = std::make_unique<CRememberedFiles>(*m_pSetupIni, m_location.rememberFile);
    LoadSerialPortMap(*m_pSetupIni);
    m_pSplash = std::make_unique<CPagePicture>(kPageWidth, kPageHeight);
    if (!m_pSplash->IsValid())
        platform::MessageBox(nullptr, platform::Format("Error while creating bitmap. Error code: %d", ENOMEM), "",
                             platform::MB_ICONERROR);
    m_pSplash->LoadPicture(m_location.pictureFile);
    ShowPage();

    m_pThread = std::make_unique<CThread>(&m_target);
    if (m_workerSetup) m_workerSetup(*m_pThread);
    m_pThread->m_bSilent = IsSilentMode(*m_pSetupIni) ? 1 : 0;
    for (const std::string& setup : SetupFiles()) m_pThread->ProtectFile(setup);

    m_pThread->m_printers.SetTree(m_treeControl.get(), 0, &m_imageList);
    setWindowTitle(QString::fromStdString("Flashing Utility " + CVersionInfo().FormatVersion()));

    if (m_pThread->m_bSilent) RunSilentStart();
    return true;
}

void CUpdateDlg::RunSilentStart() {
    const SilentJob job = PrepareSilentStart(*m_pSetupIni, m_pThread->m_printers);
    m_strFirmwareFile = job.firmwareFile;
    m_strOutputFile = job.outputFile;
    m_nPage = 5;
    ShowPage();
}

std::vector<std::string> CUpdateDlg::SetupFiles() const {
    std::vector<std::string> files;
    if (m_pSetupIni && !m_pSetupIni->Path().empty()) files.push_back(m_pSetupIni->Path());
    if (!m_location.rememberFile.empty()) files.push_back(m_location.rememberFile);
    return files;
}

bool CUpdateDlg::UpdateRunning() const { return m_pThread && m_pThread->m_bUpdateRequested; }

bool CUpdateDlg::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::KeyPress && static_cast<QKeyEvent*>(event)->key() == Qt::Key_F5) {
        ShowPage();
        // Taken here, so that it is acted on once even when it bubbles up
        // from a control to the dialog; no control has a use for it.
        return true;
    }
    if (event->type() == WorkerMessageEvent::EventType()) {
        switch (static_cast<WorkerMessageEvent*>(event)->Message()) {
            case platform::WM_UPDATE_FAILED:
                m_nPage = 6;
                ShowPage();
                break;
            case platform::WM_UPDATE_DONE:
                m_nPage = 7;
                ShowPage();
                if (m_pThread && m_pThread->m_bSilent) {
                    // The job has nothing left to do but return.
                    m_bEndingAfterUpdate = true;
                    accept();
                    m_bEndingAfterUpdate = false;
                }
                break;
            default: break;
        }
    }
    return QDialog::eventFilter(watched, event);
}

bool CUpdateDlg::event(QEvent* event) {
    if (event->type() == WorkerMessageEvent::EventType()) {
        if (static_cast<WorkerMessageEvent*>(event)->Message() == platform::WM_PAINT) OnPaint();
        return true;
    }
    return QDialog::event(event);
}

void CUpdateDlg::OnPaint() { PaintPage(); }

void CUpdateDlg::showEvent(QShowEvent* event) {
    OnInitDialog();
    QDialog::showEvent(event);
}

void CUpdateDlg::closeEvent(QCloseEvent* event) {
    if (UpdateRunning()) {
        platform::MessageBox(&m_target, LoadString(IDS_WAIT_END_OF_UPDATE), "", platform::MB_ICONERROR);
        event->ignore();
        return;
    }
    QDialog::closeEvent(event);
}

void CUpdateDlg::done(int result) {
    // While a job runs the dialog stays: its end would have to wait for the
    // job, and the job may still need the dialog to ask a question.
    if (UpdateRunning() && !m_bEndingAfterUpdate) return;
    QDialog::done(result);
}

void CUpdateDlg::keyPressEvent(QKeyEvent* event) {
    const bool plain = (event->modifiers() & ~Qt::KeypadModifier) == 0;
    switch (plain ? event->key() : 0) {
        case Qt::Key_Escape:
            OnCancelButton();
            return;
        case Qt::Key_Return:
        case Qt::Key_Enter:
            // A focused button takes Enter as a click; elsewhere (the edit box,
            // the tree) it is Next. It never ends the wizard: a person typing a
            // path or picking a printer means to go on.
            if (auto* button = qobject_cast<QPushButton*>(focusWidget()); button != nullptr && button->isEnabled())
                button->click();
            else if (m_btnNext->isEnabled())
                OnNext();
            return;
        case Qt::Key_F1:
            OnAbout();
            return;
        default:
            QDialog::keyPressEvent(event);
    }
}

void CUpdateDlg::contextMenuEvent(QContextMenuEvent* event) {
    // The place of a system menu entry on a desktop without system menus.
    const std::string about = LoadString(IDS_ABOUTBOX);
    if (about.empty()) return;
    QMenu menu(this);
    menu.addAction(QString::fromStdString(about), this, [this] { OnAbout(); });
    menu.exec(event->globalPos());
}

void CUpdateDlg::OnAbout() {
    CAboutDlg about(this);
    about.exec();
}

}  // namespace carillon
