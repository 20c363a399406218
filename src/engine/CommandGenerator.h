#pragma once
// CCommandGenerator: the flash update engine. It owns the package's element
// list, one monitor session and the geometry of the printer's four flash
// locations, and runs every long operation (connect, read the file tables,
// save the package) on a worker thread of its own behind a one-slot mailbox.
// The update job posts a command, then polls GetStatus until the engine is
// idle again.

#include <array>
#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "errors/ErrorCode.h"
#include "monitor/FlashGeometry.h"
#include "monitor/MonitorSession.h"
#include "package/ElementList.h"
#include "platform/ByteArray.h"
#include "platform/Event.h"

namespace carillon {

class CPort;

// A copy of the engine's progress.
struct GeneratorStatus {
    std::uint32_t step = 0;
    std::string text;
    std::uint32_t stepsTotal = 0;
    std::uint32_t stepsDone = 0;
    std::uint32_t unitsTotal = 0;
    std::uint32_t unitsDone = 0;
    std::uint32_t elementCount = 0;
    std::uint32_t savedCount = 0;
};

// Mailbox command codes; 0 is idle, -1 means the worker has not started.
enum GeneratorCommand : std::int32_t {
    kCommandNotStarted = -1,
    kCommandIdle = 0,
    kCommandConnect = 1,
    kCommandReadFileTables = 2,
    kCommandSave = 3,
    kCommandEnterMonitorMode = 4,
    kCommandReadElement = 5,
};

// Step codes of m_step.
enum GeneratorStep : std::uint32_t {
    kStepIdle = 0,
    kStepConnecting = 1,
    kStepReadingTables = 2,
    kStepSaving = 3,
    kStepGoingToMonitor = 4,
    kStepReadingFile = 5,
};

class CCommandGenerator {
public:
    CCommandGenerator();
    virtual ~CCommandGenerator();
    CCommandGenerator(const CCommandGenerator&) = delete;
    CCommandGenerator& operator=(const CCommandGenerator&) = delete;

    // Commands for the worker; each returns at once and leaves its outcome
    // (0, busy, or no worker) in m_lastError.
    void PostConnect(CPort* port, std::uint32_t wake, std::uint32_t attempts);
    void PostReadFileTables();
    void PostSave(std::uint8_t force);
    // From any thread: a running save stops at its next safe point (before
    // an element, or between two chunks of an element's data; never inside
    // a table rewrite) and ends with kErrEngStoppedByUser. The next connect
    // clears the request.
    void RequestStop() { m_session.m_stopRequested = true; }
    // Commands nothing in the wizard posts; kept for tools.
    void PostEnterMonitorMode(std::uint32_t baudRate, std::uint32_t handshake);
    void PostReadElement(std::uint32_t position);

    void GetStatus(GeneratorStatus* out);
    void GetMonitorVersion(std::uint8_t out[2]) const;

    // Runs on the caller's thread with a session of its own: learns the
    // family of a printer that answers in monitor mode.
    ErrorCode ProbeMonitorMode(CPort* port, std::string& text, std::uint32_t* archi);

    // Sector arithmetic on a location's geometry; results also go to m_lastError.
    ErrorCode SectorToAddress(std::int32_t location, std::uint8_t sector, std::uint32_t* address);
    ErrorCode AddressToSector(std::int32_t location, std::uint32_t address, std::uint8_t* sector);

    // The work of the commands, also callable directly on the caller's
    // thread while the worker is idle (the tests and tools do).
    ErrorCode DoConnect(CPort* port, std::uint32_t wake, std::uint32_t attempts);
    ErrorCode DoReadFileTables();
    ErrorCode DoSave(std::uint8_t force);
    ErrorCode DoEnterMonitorMode(std::uint32_t baudRate, std::uint32_t handshake);
    ErrorCode DoReadElement(std::uint32_t position);

    // File tables.
    ErrorCode ReadLocationTable(std::int32_t location);
    ErrorCode WriteLocationTable(std::int32_t location);
    ErrorCode ReadGeometry(std::int32_t location);

    // Programming and placement.
    ErrorCode ProgramData(std::int32_t location);
    ErrorCode AttributeAddresses(std::int32_t location);

    std::string StatusText() const;

    CElementList m_elements;
    CMonitorSession m_session;
    std::atomic<std::uint32_t> m_step{kStepIdle};
    std::atomic<std::uint32_t> m_stepsTotal{0};
    std::atomic<std::uint32_t> m_stepsDone{0};
    std::atomic<std::uint32_t> m_unitsTotal{0};
    std::atomic<std::uint32_t> m_unitsDone{0};
    std::atomic<std::uint32_t> m_elementCount{0};
    std::atomic<std::uint32_t> m_savedCount{0};
    std::atomic<ByteArray*> m_pOutputImage{nullptr};  // borrowed; null: record nothing
    std::array<FlashGeometry, kLocationCount> m_geometry{};
    std::array<std::uint32_t, kLocationCount> m_geometryValid{};
    std::atomic<ErrorCode> m_lastError{kOk};
    std::atomic<std::int32_t> m_command{kCommandNotStarted};
    std::atomic<std::uint32_t> m_stop{0};

private:
    struct Arguments {
        std::uint32_t element = 0;
        std::uint32_t baudRate = 0;
        std::uint32_t handshake = 0;
        std::uint32_t attempts = 0;
        CPort* port = nullptr;
        std::uint8_t force = 0;
        std::uint32_t wake = 0;
    };

    void WorkerLoop();
    void Post(std::int32_t command, const Arguments& arguments);
    ErrorCode RunCommand(std::int32_t command);
    void ResetStatus();
    void SetStatusText(std::string text);
    ErrorCode Fail(ErrorCode code);

    // Changes to the element list and to m_saved happen under this lock, so
    // that GetStatus may count from another thread.
    void AddElement(std::unique_ptr<CElement> element);
    void RemoveLocationElements(std::int32_t location);
    void MarkSaved(CElement& element);

    ErrorCode ReadTable(std::int32_t location, EntryForm form);
    ErrorCode WriteTable(std::int32_t location, EntryForm form);
    ErrorCode ProgramElement(std::int32_t location, CElement& element);
    ErrorCode EraseElementSectors(std::int32_t location, const CElement& element);
    ErrorCode WriteElementData(std::int32_t location, CElement& element, std::uint32_t* written);
    // What a clean update sends for an element or a table, into the output binary.
    void RecordElement(std::int32_t location, const CElement& element);
    void RecordErases(std::int32_t location, std::uint32_t address, std::uint32_t units);
    ErrorCode EraseSectors(std::int32_t location, std::uint8_t first, std::uint8_t last);
    ErrorCode CheckWrittenTable(std::int32_t location, std::uint32_t start, const std::vector<std::uint8_t>& written);

    Arguments m_args;  // read by the worker when a command starts
    mutable std::mutex m_statusMutex;
    std::string m_strStatus = "Initializing...";
    mutable std::mutex m_listMutex;
    platform::AutoResetEvent m_wakeEvent{true};
    platform::AutoResetEvent m_doneEvent{false};
    std::thread m_thread;
    bool m_threadCreated = false;
};

}  // namespace carillon
