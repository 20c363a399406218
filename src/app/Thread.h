#pragma once
// CThread: the worker that runs the printer search and the update job away
// from the front-end's thread. A front-end starts a job only by raising a
// request flag after filling the job's inputs; the worker reports through
// posted messages and through progress fields that the front-end reads with
// Snapshot.

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "app/ForcedRemoval.h"
#include "discovery/PrinterList.h"
#include "platform/ByteArray.h"
#include "platform/MessageTarget.h"

namespace carillon {

class CPort;

class CThread {
public:
    // What the update page shows and the failure page reports.
    struct View {
        std::string m_strStatus;
        std::string m_strTotal;
        int m_nTotalPercent = 0;
        std::string m_strProgress;
        int m_nProgressPercent = 0;
        bool m_bShowTotal = false;
        bool m_bShowProgress = false;
        std::uint8_t m_byMonitorVersion[2] = {0, 0};
        std::string m_strResultTitle;
        std::string m_strResultText;
        // The numbers behind the texts, for machine-readable progress.
        GeneratorStatus status;
        ErrorCode resultCode = kOk;  // what ended the last job that failed
    };

    // Starts the polling loop at once; messages go to dialog (may be null).
    explicit CThread(platform::MessageTarget* dialog = nullptr);
    // Stops the loop after the job in progress, if any, and joins it.
    virtual ~CThread();
    CThread(const CThread&) = delete;
    CThread& operator=(const CThread&) = delete;

    // A copy of the progress and result fields as of the latest poll.
    View Snapshot() const;

    // Hands the update job its inputs and raises m_bUpdateRequested. While a
    // job runs, a new request is absorbed and the job keeps its inputs.
    void RequestUpdate(CPort* port, const std::string& firmwareFile, const std::string& outputFile);
    // Asks the running update to stop at its next safe point (between
    // chunks of element data, never inside a table); it then fails with
    // kErrEngStoppedByUser. From any thread; the next request clears it.
    void RequestStop();

    // A file the update job must never overwrite besides its package (the
    // setup file it was started from): an output binary naming it is refused.
    void ProtectFile(const std::string& path);

    // The job itself; the loop calls them, tests may too while the loop idles.
    void RunUpdateJob();
    void WaitForEngine();

    PrinterList m_printers;
    std::atomic<std::uint8_t> m_bSearchRequested{0};
    std::atomic<std::uint8_t> m_bUpdateRequested{0};
    std::atomic<std::uint8_t> m_bSilent{0};
    std::atomic<platform::MessageTarget*> m_hDialog{nullptr};

private:
    void PollingLoop();
    void Post(std::uint32_t message);
    void Fail(const std::string& title, const std::string& text, ErrorCode code);
    // Fail, after a connect: the session is let go first.
    void FailConnected(const std::string& title, const std::string& text, ErrorCode code);
    void FailWithCode(ErrorCode code);
    // Asks before a forced save drops firmware the printer holds; true to go on.
    bool ConfirmForcedRemoval(const std::vector<FirmwareEntry>& firmwareToday);
    ErrorCode WriteOutputFile(const std::string& path, const ByteArray& image);
    // The failure of a job the user stopped before its save began.
    bool FailIfStopped();

    // Job inputs, set by RequestUpdate and read once when a job starts.
    std::mutex m_inputMutex;
    CPort* m_pPort = nullptr;
    std::string m_strFirmwareFile;
    std::string m_strOutputFile;
    std::vector<std::string> m_protectedFiles;
    std::atomic<bool> m_bStopRequested{false};

    mutable std::mutex m_viewMutex;
    View m_view;
    std::mutex m_stopMutex;
    std::condition_variable m_stopSignal;
    bool m_stopRequested = false;
    std::thread m_thread;
};

}  // namespace carillon
