// The worker's polling loop and the update job: connect, read the file
// tables, load and check the package, save it, write the output binary and
// release the monitor.

#include "app/Thread.h"

#include <chrono>

#include "app/ForcedRemoval.h"
#include "app/OutputBinary.h"
#include "app/StringTable.h"
#include "errors/ErrorMessages.h"
#include "platform/Format.h"
#include "platform/MessageBox.h"

namespace carillon {
namespace {

constexpr auto kPollPeriod = std::chrono::milliseconds(100);

int Percent(std::uint32_t done, std::uint32_t total) {
    return static_cast<int>(static_cast<std::int64_t>(done) * 100 / static_cast<std::int64_t>(total));
}

}  // namespace

CThread::CThread(platform::MessageTarget* dialog) : m_hDialog(dialog) {
    m_thread = std::thread([this] { PollingLoop(); });
}

CThread::~CThread() {
    {
        std::lock_guard lock(m_stopMutex);
        m_stopRequested = true;
    }
    m_stopSignal.notify_all();
    m_thread.join();
}

void CThread::PollingLoop() {
    for (;;) {
        if (m_bSearchRequested) {
            m_printers.SearchPrinters();
            m_bSearchRequested = 0;
        }
        if (m_bUpdateRequested) {
            RunUpdateJob();
            std::lock_guard lock(m_inputMutex);
            m_bUpdateRequested = 0;
        }
        std::unique_lock lock(m_stopMutex);
        if (m_stopSignal.wait_for(lock, kPollPeriod, [this] { return m_stopRequested; })) return;
    }
}

void CThread::ProtectFile(const std::string& path) {
    std::lock_guard lock(m_inputMutex);
    m_protectedFiles.push_back(path);
}

void CThread::RequestUpdate(CPort* port, const std::string& firmwareFile, const std::string& outputFile) {
    std::lock_guard lock(m_inputMutex);
    if (!m_bUpdateRequested) {
        m_bStopRequested = false;
        m_pPort = port;
        m_strFirmwareFile = firmwareFile;
        m_strOutputFile = outputFile;
    }
    m_bUpdateRequested = 1;
}

void CThread::RequestStop() {
    m_bStopRequested = true;
    m_printers.engine.RequestStop();
}

CThread::View CThread::Snapshot() const {
    std::lock_guard lock(m_viewMutex);
    return m_view;
}

void CThread::Post(std::uint32_t message) { platform::PostMessage(m_hDialog, message); }

void CThread::Fail(const std::string& title, const std::string& text, ErrorCode code) {
    {
        std::lock_guard lock(m_viewMutex);
        m_view.m_strResultTitle = title;
        m_view.m_strResultText = text;
        m_view.resultCode = code;
    }
    Post(platform::WM_UPDATE_FAILED);
}

void CThread::FailConnected(const std::string& title, const std::string& text, ErrorCode code) {
    // The session borrows the printer list's port, which a new search deletes.
    CCommandGenerator& engine = m_printers.engine;
    if (engine.m_command == kCommandIdle) engine.m_session.Disconnect();
    Fail(title, text, code);
}

bool CThread::FailIfStopped() {
    if (!m_bStopRequested) return false;
    FailConnected(LoadString(IDS_PROGRAMMING_ERROR) + "\n",
                  platform::Format(LoadString(IDS_ERROR_CODE_FORMAT).c_str(), kErrEngStoppedByUser) + "\n" +
                      GetErrorMessage(kErrEngStoppedByUser),
                  kErrEngStoppedByUser);
    return true;
}

void CThread::WaitForEngine() {
    CCommandGenerator& engine = m_printers.engine;
    while (engine.m_command != kCommandIdle) {
        std::this_thread::sleep_for(kPollPeriod);
        GeneratorStatus status;
        engine.GetStatus(&status);
        {
            std::lock_guard lock(m_viewMutex);
            m_view.status = status;
            m_view.m_strStatus = status.text;
            // A percentage keeps its value while its total is zero.
            if (status.stepsTotal != 0) m_view.m_nTotalPercent = Percent(status.stepsDone, status.stepsTotal);
            if (status.unitsTotal != 0) m_view.m_nProgressPercent = Percent(status.unitsDone, status.unitsTotal);
            m_view.m_strTotal = platform::Format(LoadString(IDS_TOTAL_FORMAT).c_str(), static_cast<int>(status.stepsDone),
                                                 static_cast<int>(status.stepsTotal));
            m_view.m_strProgress = platform::Format(LoadString(IDS_PROGRESS_FORMAT).c_str(),
                                                    static_cast<int>(status.unitsDone),
                                                    static_cast<int>(status.unitsTotal));
        }
        Post(platform::WM_PAINT);
    }
}

void CThread::RunUpdateJob() {
    CCommandGenerator& engine = m_printers.engine;
    CPort* port;
    std::string firmwareFile, outputFile;
    std::vector<std::string> protectedFiles;
    {
        std::lock_guard lock(m_inputMutex);
        port = m_pPort;
        firmwareFile = m_strFirmwareFile;
        outputFile = m_strOutputFile;
        protectedFiles = m_protectedFiles;
    }
    {
        std::lock_guard lock(m_viewMutex);
        m_view.m_nTotalPercent = 0;
        m_view.m_nProgressPercent = 0;
        m_view.m_bShowTotal = false;
        m_view.m_bShowProgress = true;
        // The last printer's version would pass for this one's while it connects.
        m_view.m_byMonitorVersion[0] = 0;
        m_view.m_byMonitorVersion[1] = 0;
    }

    // Refused before the printer is touched: an output that would replace an
    // input, or that could never be written after programming.
    if (!outputFile.empty()) {
        std::vector<std::string> inputs = protectedFiles;
        inputs.push_back(firmwareFile);
        if (const ErrorCode e = CheckOutputBinaryPath(outputFile, inputs); e != kOk) {
            FailWithCode(e);
            return;
        }
    }

    engine.PostConnect(port, 1, 0);
    WaitForEngine();
    if (!engine.m_session.m_connected) {
        Fail(LoadString(IDS_FAIL_TO_CONNECT), "", engine.m_lastError);
        return;
    }
    {
        std::lock_guard lock(m_viewMutex);
        engine.GetMonitorVersion(m_view.m_byMonitorVersion);
        m_view.m_bShowTotal = true;
        m_view.m_bShowProgress = true;
    }

    // A stop asked for before the save would be lost: the connect clears the engine's.
    if (FailIfStopped()) return;
    engine.PostReadFileTables();
    WaitForEngine();
    if (FailIfStopped()) return;

    const std::vector<FirmwareEntry> firmwareToday = FirmwareEntries(engine.m_elements);
    engine.m_elements.RemoveAll();
    if (const ErrorCode e = engine.m_elements.LoadPackage(firmwareFile); e != kOk) {
        FailConnected(LoadString(IDS_PROGRAMMING_ERROR) + "\n",
             platform::Format(LoadString(IDS_INVALID_FILE_FORMAT).c_str(), firmwareFile.c_str(), e), e);
        return;
    }
    engine.m_elements.RemoveUnusable();
    const int incompatible = engine.m_elements.CountIncompatible(false, true);

    ByteArray image;
    if (engine.m_command == kCommandIdle) engine.m_pOutputImage = &image;
    std::uint8_t force = 0;
    if (incompatible != 0 &&
        platform::MessageBox(m_hDialog,
                             "Some element of the package are not compatible with the printer.\nDo you want to force "
                             "the update?",
                             "", platform::MB_YESNO | platform::MB_ICONERROR | platform::MB_DEFBUTTON2) == platform::IDYES)
        force = 1;
    if (force && !ConfirmForcedRemoval(firmwareToday)) {
        engine.m_pOutputImage = nullptr;
        engine.m_session.LeaveMonitorMode();
        engine.m_session.Disconnect();  // the port belongs to the printer list, which a search renews
        FailWithCode(kErrJobForcedRemovalRefused);
        return;
    }

    engine.PostSave(force);
    WaitForEngine();
    if (const ErrorCode e = engine.m_lastError; e != kOk) {
        engine.m_pOutputImage = nullptr;
        FailConnected(LoadString(IDS_PROGRAMMING_ERROR) + "\n",
             platform::Format(LoadString(IDS_ERROR_CODE_FORMAT).c_str(), e) + "\n" + GetErrorMessage(e), e);
        return;
    }
    if (engine.m_command == kCommandIdle) engine.m_pOutputImage = nullptr;
    image.push_back(0x00);
    const ErrorCode written = outputFile.empty() ? kOk : WriteOutputFile(outputFile, image);

    engine.m_lastError = engine.m_command == kCommandIdle ? engine.m_session.LeaveMonitorMode() : kErrEngBusy;
    // The printer is updated either way, but a binary the user asked for and
    // did not get is a failure to report, not a success.
    if (written != kOk) {
        if (engine.m_command == kCommandIdle) engine.m_session.Disconnect();
        FailWithCode(written);
        return;
    }
    Post(platform::WM_UPDATE_DONE);
}

bool CThread::ConfirmForcedRemoval(const std::vector<FirmwareEntry>& firmwareToday) {
    const std::string question = ForcedRemovalQuestion(firmwareToday, m_printers.engine.m_elements);
    return question.empty() || platform::MessageBox(m_hDialog, question, "", platform::MB_YESNO | platform::MB_ICONEXCLAMATION) ==
                                   platform::IDYES;
}

void CThread::FailWithCode(ErrorCode code) {
    Fail(LoadString(IDS_PROGRAMMING_ERROR) + "\n",
         platform::Format(LoadString(IDS_ERROR_CODE_FORMAT).c_str(), code) + "\n" + GetErrorMessage(code), code);
}

ErrorCode CThread::WriteOutputFile(const std::string& path, const ByteArray& image) {
    const ErrorCode result = WriteOutputBinary(path, image);
    if (result == kErrJobOutputWrite)
        platform::MessageBox(m_hDialog, "Error", "Error while saving output binary file...", platform::MB_ICONERROR);
    return result;
}

}  // namespace carillon
