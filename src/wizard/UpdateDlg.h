#pragma once
// CUpdateDlg: the wizard's only window, a modal dialog of seven pages
// (welcome, printer, firmware file, output file, update, failure, success).
// It owns the setup file, the page picture and the worker; it starts the
// search and the update by raising the worker's request flags and changes
// page when the worker posts its messages. Every page is painted into the
// off-screen page picture; the only live controls are the three buttons,
// the printer tree, the file edit box and its "..." button.

#include <QDialog>
#include <QFont>
#include <QIcon>
#include <QRect>
#include <QStringList>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/SetupLocation.h"
#include "app/Thread.h"
#include "wizard/PagePicture.h"
#include "wizard/QtMessageTarget.h"
#include "wizard/QtTreeControl.h"

class QLineEdit;
class QPushButton;
class QTreeWidget;

namespace carillon {

class CRememberedFiles;
class CSetupIni;

// Control ids, kept as the controls' object names.
enum ControlId : int {
    IDC_PREVIOUS = 1000,
    IDC_NEXT = 1001,
    IDC_CANCEL = 1002,
    IDC_TREE = 1003,
    IDC_EDIT_FILE = 1004,
    IDC_BROWSE = 1005,
};

// A rectangle by its edges, right and bottom exclusive where a fill is meant.
struct PageRect {
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;
};

// What the "..." button asks the file dialog for.
struct FileDialogRequest {
    std::string defaultExtension;  // with its leading point
    std::string initialName;
    std::string filter;  // "label|patterns|...||"
};

class CUpdateDlg : public QDialog {
public:
    // The page picture's surface, and the height the pages are laid out for
    // when there is no picture.
    static constexpr int kPageWidth = 500;
    static constexpr int kPageHeight = 400;
    static constexpr int kLayoutHeightWithoutPicture = 350;

    // firstArgument: the program's path as started; where it lies decides
    // which setup file and picture are used.
    CUpdateDlg(QWidget* parent, const std::string& firstArgument);
    ~CUpdateDlg() override;

    // The setup file, the picture, the worker, the tree and the title; in
    // silent mode also the start of the update. Runs once: showing the dialog
    // runs it when nobody did before.
    bool OnInitDialog();

    // Applies m_nPage (buttons, controls, job requests), then paints.
    void ShowPage();
    void OnNext();
    void OnPrevious();
    void OnCancelButton();
    void OnBrowse();
    void OnEditChange();
    void OnTreeNotify();
    void OnAbout();
    // The worker's repaint request.
    void OnPaint();

    // Painting (into the page picture).
    void PaintPage();
    // The page as it looks with the worker's fields at view.
    void PaintPageFrom(const CThread::View& view);
    void DrawTitleText(const std::string& text);
    void DrawBodyText(const std::string& text);
    void DrawBarLine(const std::string& text, int percent);
    void DrawMonitorVersion(const std::uint8_t version[2]);
    void DrawProgressBar(int percent, const PageRect& frame);
    void ShowPageOnWindow(const std::optional<QRect>& control);

    void done(int result) override;

    // For tests.
    int Page() const { return m_nPage; }
    void SetPage(int page) { m_nPage = page; }
    CThread* Worker() { return m_pThread.get(); }
    CPagePicture* Splash() { return m_pSplash.get(); }
    platform::MessageTarget* Target() { return &m_target; }
    const std::vector<PageCopy>& LastCopies() const { return m_copies; }
    // Where the page's text column ended, as last painted.
    int TextBottom() const { return m_nTextY; }
    const std::string& FirmwareFile() const { return m_strFirmwareFile; }
    const std::string& OutputFile() const { return m_strOutputFile; }
    // Replaces the file dialog of the "..." button.
    using FileDialog = std::function<std::optional<std::string>(const FileDialogRequest&)>;
    void SetFileDialog(FileDialog dialog) { m_fileDialog = std::move(dialog); }
    // Runs on the worker right after it is made, before anything asks it for work.
    void SetWorkerSetup(std::function<void(CThread&)> setup) { m_workerSetup = std::move(setup); }

protected:
    bool event(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;

private:
    bool UpdateRunning() const;
    // The setup file and the file of remembered choices: an output binary must not replace them.
    std::vector<std::string> SetupFiles() const;
    // The picture's height, or the height pages are laid out for without one.
    int LayoutHeight() const;
    // Draws text word-wrapped in the text column at m_nTextY and moves m_nTextY below it.
    void DrawColumnText(int cellHeight, int weight, const std::string& text);
    std::optional<std::string> RunFileDialog(const FileDialogRequest& request);
    void RunSilentStart();

    SetupLocation m_location;
    std::unique_ptr<CSetupIni> m_pSetupIni;
    std::unique_ptr<CRememberedFiles> m_pRemembered;
    std::unique_ptr<CThread> m_pThread;
    std::string m_strFirmwareFile;
    std::string m_strOutputFile;
    QLineEdit* m_editFile;
    QPushButton* m_btnBrowse;
    QTreeWidget* m_tree;
    QPushButton* m_btnCancel;
    QPushButton* m_btnNext;
    QPushButton* m_btnPrevious;
    std::string m_strEdit;
    std::unique_ptr<CPagePicture> m_pSplash;
    int m_nPage = 1;
    int m_nTextY = 0;
    TreeImageList m_imageList;
    QIcon m_hIcon;

    QtMessageTarget m_target;
    std::unique_ptr<QtTreeControl> m_treeControl;
    std::vector<PageCopy> m_copies;
    bool m_bInitialised = false;
    bool m_bEndingAfterUpdate = false;
    FileDialog m_fileDialog;
    std::function<void(CThread&)> m_workerSetup;
};

// Progress bar arithmetic: the right edge (exclusive) of the fill of a bar
// framed from left to right, at percent (already clamped to 0..100).
int ProgressFillRight(int percent, int left, int right);

// A file dialog filter of the form "label|patterns|...||" as Qt name
// filters; "*.*" becomes "*", which also matches names without a point.
QStringList QtNameFilters(const std::string& filter);

// A face for the text column whose line cell (ascent + descent) is at most
// cellHeight pixels: the page layout counts its heights in whole cells.
QFont PageFont(int cellHeight, int weight);

}  // namespace carillon
