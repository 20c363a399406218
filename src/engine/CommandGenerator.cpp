// The engine's worker, mailbox, status and connection handling, and the
// sector arithmetic that the file tables, placement and programming share.

#include "engine/CommandGenerator.h"

#include <chrono>
#include <system_error>

#include "platform/Thread.h"
#include "ports/Port.h"

namespace carillon {
namespace {

void SleepMs(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

}  // namespace

CCommandGenerator::CCommandGenerator() {
    try {
        m_thread = std::thread([this] { WorkerLoop(); });
        m_threadCreated = true;
    } catch (const std::system_error&) {
        m_threadCreated = false;
    }
    m_pOutputImage = nullptr;
    m_lastError = kOk;
    ResetStatus();
    if (!m_threadCreated) {
        m_lastError = kErrNoMemory;
        return;
    }
    // The worker's first pass opens the mailbox; until then every post would
    // be refused as busy, so an update started at once would fail to connect.
    m_doneEvent.Wait();
}

CCommandGenerator::~CCommandGenerator() {
    if (m_threadCreated) {
        m_stop = 1;
        // A running command is never interrupted: wait for it, then for the worker to see the stop.
        while (m_command != kCommandIdle) {
            SleepMs(100);
            m_wakeEvent.Set();
        }
        while (m_stop != 0) {
            SleepMs(100);
            m_wakeEvent.Set();
        }
        m_thread.join();
    }
    m_elements.m_archi = kArchiUnknown;
    if (m_session.m_connected) {
        m_lastError = m_command != kCommandIdle ? kErrEngBusy : m_session.Disconnect();
    }
}

void CCommandGenerator::WorkerLoop() {
    platform::RaiseCurrentThreadPriority();
    ErrorCode result = kOk;
    for (;;) {
        while (m_command == kCommandIdle) {
            m_wakeEvent.Wait();
            if (m_stop != 0) {
                m_command = kCommandIdle;  // posted but never begun: it goes with the engine
                m_stop = 0;
                return;
            }
        }
        const std::int32_t command = m_command;
        if (command >= kCommandConnect && command <= kCommandReadElement) result = RunCommand(command);
        m_lastError = result;
        m_command = kCommandIdle;
        m_doneEvent.Set();
    }
}

ErrorCode CCommandGenerator::RunCommand(std::int32_t command) {
    const Arguments a = m_args;
    switch (command) {
        case kCommandConnect: return DoConnect(a.port, a.wake, a.attempts);
        case kCommandReadFileTables: return DoReadFileTables();
        case kCommandSave: return DoSave(a.force);
        case kCommandEnterMonitorMode: return DoEnterMonitorMode(a.baudRate, a.handshake);
        default: return DoReadElement(a.element);
    }
}

void CCommandGenerator::Post(std::int32_t command, const Arguments& arguments) {
    if (!m_threadCreated) {
        m_lastError = kErrEngNoThread;
        return;
    }
    if (m_command != kCommandIdle) {
        m_lastError = kErrEngBusy;
        return;
    }
    // The arguments change only once the post is accepted, so a running
    // command never sees them move under it.
    m_args = arguments;
    m_lastError = kOk;
    m_doneEvent.Reset();
    m_command = command;
    m_wakeEvent.Set();
}

void CCommandGenerator::PostConnect(CPort* port, std::uint32_t wake, std::uint32_t attempts) {
    Arguments a = m_args;
    a.port = port;
    a.wake = wake;
    a.attempts = attempts;
    Post(kCommandConnect, a);
}

void CCommandGenerator::PostReadFileTables() { Post(kCommandReadFileTables, m_args); }

void CCommandGenerator::PostSave(std::uint8_t force) {
    Arguments a = m_args;
    a.force = force;
    Post(kCommandSave, a);
}

void CCommandGenerator::PostEnterMonitorMode(std::uint32_t baudRate, std::uint32_t handshake) {
    Arguments a = m_args;
    a.baudRate = baudRate;
    a.handshake = handshake;
    Post(kCommandEnterMonitorMode, a);
}

void CCommandGenerator::PostReadElement(std::uint32_t position) {
    Arguments a = m_args;
    a.element = position;
    Post(kCommandReadElement, a);
}

void CCommandGenerator::SetStatusText(std::string text) {
    std::lock_guard lock(m_statusMutex);
    m_strStatus = std::move(text);
}

std::string CCommandGenerator::StatusText() const {
    std::lock_guard lock(m_statusMutex);
    return m_strStatus;
}

ErrorCode CCommandGenerator::Fail(ErrorCode code) { return m_lastError = code; }

void CCommandGenerator::ResetStatus() {
    {
        std::lock_guard lock(m_listMutex);
        m_geometryValid.fill(0);
        m_elements.RemoveAll();
    }
    m_step = kStepIdle;
    SetStatusText("Initializing...");
    m_stepsTotal = 0;
    m_stepsDone = 0;
    m_unitsTotal = 0;
    m_unitsDone = 0;
}

void CCommandGenerator::AddElement(std::unique_ptr<CElement> element) {
    std::lock_guard lock(m_listMutex);
    m_elements.Add(std::move(element));
}

void CCommandGenerator::RemoveLocationElements(std::int32_t location) {
    std::lock_guard lock(m_listMutex);
    m_elements.RemoveLocation(location);
}

void CCommandGenerator::MarkSaved(CElement& element) {
    std::lock_guard lock(m_listMutex);
    element.m_saved = 1;
}

void CCommandGenerator::GetStatus(GeneratorStatus* out) {
    if (out == nullptr) return;
    {
        std::lock_guard lock(m_listMutex);
        std::uint32_t saved = 0;
        for (const auto& e : m_elements.Elements())
            if (m_session.IsLocationPresent(e->m_location) && e->m_saved != 0) ++saved;
        m_elementCount = static_cast<std::uint32_t>(m_elements.GetCount());
        m_savedCount = saved;
    }
    if (m_command != kCommandIdle) {
        SessionProgress progress;
        m_session.GetProgress(progress);
        if (progress.operation != kOpIdle) {
            m_unitsTotal = progress.total;
            m_unitsDone = progress.done + progress.inPacket;
        }
    } else {
        m_unitsDone = m_unitsTotal.load();
        m_stepsDone = m_stepsTotal.load();
    }
    out->step = m_step;
    out->text = StatusText();
    out->stepsTotal = m_stepsTotal;
    out->stepsDone = m_stepsDone;
    out->unitsTotal = m_unitsTotal;
    out->unitsDone = m_unitsDone;
    out->elementCount = m_elementCount;
    out->savedCount = m_savedCount;
}

void CCommandGenerator::GetMonitorVersion(std::uint8_t out[2]) const {
    const bool connected = m_session.m_connected;
    out[0] = connected ? m_session.m_monitorVersion.load() : 0xFF;
    out[1] = connected ? m_session.m_monitorVersion2.load() : 0xFF;
}

ErrorCode CCommandGenerator::DoConnect(CPort* port, std::uint32_t wake, std::uint32_t attempts) {
    ResetStatus();
    m_session.m_stopRequested = false;  // a new job
    m_step = kStepConnecting;
    SetStatusText("Connecting...");
    const ErrorCode r = m_session.Connect(port, wake != 0, static_cast<int>(attempts));
    if (r == kOk || r == kErrMonVersionNewer) m_elements.m_archi = m_session.m_archi;
    return Fail(r);
}

ErrorCode CCommandGenerator::DoEnterMonitorMode(std::uint32_t baudRate, std::uint32_t handshake) {
    m_step = kStepGoingToMonitor;
    SetStatusText("Going to monitor mode...");
    m_stepsTotal = 0;
    return Fail(m_session.GoToMonitorMode(baudRate, handshake, 0));
}

ErrorCode CCommandGenerator::ProbeMonitorMode(CPort* port, std::string& text, std::uint32_t* archi) {
    CMonitorSession probe;
    probe.m_timing = m_session.m_timing;
    if (port->IsOpen()) port->Close();
    port->readTimeout = 100;
    const ErrorCode r = probe.Connect(port, false, 0);
    if (r == kOk || r == kErrMonVersionNewer) {
        const std::int32_t family = probe.m_archi;
        if (archi != nullptr) *archi = static_cast<std::uint32_t>(family);
        if (family == kArchiNdx) text = "NDX is in Monitor mode";
        else if (family == kArchiPlv) text = "NDX(PLV) is in Monitor mode";
        else if (family == kArchiKiosk) text = "KIOSK is in Monitor mode";
    }
    const ErrorCode disconnected = probe.Disconnect();
    return Fail(r == kOk ? disconnected : r);
}

ErrorCode CCommandGenerator::AddressToSector(std::int32_t location, std::uint32_t address, std::uint8_t* sector) {
    *sector = 0;
    if (!m_session.IsLocationPresent(location)) return Fail(kErrEngLocationAbsent);
    if (m_geometryValid[static_cast<std::size_t>(location)] == 0) return Fail(kErrEngGeometryStale);
    *sector = static_cast<std::uint8_t>(SectorContaining(m_geometry[static_cast<std::size_t>(location)], address));
    return Fail(kOk);
}

ErrorCode CCommandGenerator::SectorToAddress(std::int32_t location, std::uint8_t sector, std::uint32_t* address) {
    *address = 0;
    if (!m_session.IsLocationPresent(location)) return Fail(kErrEngLocationAbsent);
    if (m_geometryValid[static_cast<std::size_t>(location)] == 0) return Fail(kErrEngGeometryStale);
    const FlashGeometry& g = m_geometry[static_cast<std::size_t>(location)];
    if (sector > g.sectorCount) return Fail(kErrEngSectorUnallocated);
    *address = SectorStart(g, sector);
    return Fail(kOk);
}

}  // namespace carillon
