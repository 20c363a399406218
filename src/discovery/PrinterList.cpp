// The printer search: list every port, wake the sleeping printers, ask each
// port in up to three command sets who is there, and check the silent ones
// for a boot monitor. A silent serial port costs seconds of waits, so the
// ports are probed side by side, each on a thread of its own.

#include "discovery/PrinterList.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <thread>
#include <vector>

#include "ports/Port.h"

namespace carillon {
namespace {

constexpr std::uint32_t kInfoReadTimeoutMs = 250;
constexpr std::uint32_t kDefaultReadTimeoutMs = 2000;
constexpr std::uint32_t kHandshakeReadTimeoutMs = 100;
constexpr std::uint32_t kSearchBaudRate = 9600;
constexpr int kCommandSetAttempts = 4;
constexpr int kInfoOnlyAttempt = 3;  // the unknown set: nothing to ask

const ByteArray kInfoQuery = {0x1B, 0x1D, 0x43};
const ByteArray kHandshakeQuery = {0x1D, 0x53, 0x66, 0x1C};
const ByteArray kHandshakeQueryAlt = {0x1B, 0x1D, 0x42, 0xFF};

std::uint32_t HandshakeFromReply(std::uint8_t b) { return (b & 0x80) ? kHandshakeRtsCts : kHandshakeXonXoff; }

}  // namespace

PrinterList::PrinterList() = default;

PrinterList::~PrinterList() {
    searchDone_.Wait();
    ReleaseSession();
    ResetPrinterList();
}

void PrinterList::ReleaseSession() {
    if (engine.m_session.m_connected)
        engine.m_lastError = engine.m_command != kCommandIdle ? kErrEngBusy : engine.m_session.Disconnect();
}

void PrinterList::ResetPrinterList() {
    std::lock_guard lock(entriesMutex_);
    for (PrinterEntry& e : entries) {
        e.kind = kPortKindEmpty;
        e.label.clear();
        e.portName.clear();
        e.family = 0;
        e.commandSet = COMMAND_SET_UNKNOWN;
        e.port.reset();
    }
    records_.reset();
}

CommandStrings PrinterList::BuildCommandStrings(std::uint32_t commandSet) {
    CommandStrings s;
    switch (commandSet) {
        case COMMAND_SET_VRK: s = {{0x18}, {0x1B, 0x76}, {0x1B, 0x49}, -1}; break;
        case COMMAND_SET_ESCPOS: s = {{0x18}, {0x1D, 0x49, 0x01}, {0x1D, 0x49, 0x43}, -1}; break;
        case COMMAND_SET_KESTREL: s = {{0x1B, 0x49}, {0x1B, 0x76}, {0x1B, 0x57}, 1}; break;
        default:
            SetListError(kErrIdNotAvailable);
            return s;
    }
    SetListError(kOk);
    return s;
}

int PrinterList::SearchPrinters() {
    searchDone_.Reset();
    platform::PostMessage(notifyWindow, platform::WM_SEARCH_STARTED);
    // The session borrows an entry's port: let it go before the ports go.
    ReleaseSession();
    ResetPrinterList();
    records_ = std::make_unique<PortRecord[]>(kMaxPortRecords);

    CPort enumerator;
    portCount = enumerator.EnumerateAllPorts(records_.get(), kMaxPortRecords, 0, false);
    RebuildTree(true);
    bool anyAsked = false;
    for (int i = 0; i < portCount; ++i) {
        if (!IsAsked(records_[i].name)) continue;
        records_[i].port->WakeUp();
        anyAsked = true;
    }
    if (anyAsked) std::this_thread::sleep_for(std::chrono::seconds(1));

    ProbeAllEntries();
    ChooseCurrentPrinter();
    platform::PostMessage(notifyWindow, platform::WM_SEARCH_DONE);
    searchDone_.Set();
    RebuildTree(false);
    return portCount;
}

void PrinterList::ChooseCurrentPrinter() {
    std::lock_guard lock(entriesMutex_);
    auto isPrinter = [this](int i) {
        return i >= 0 && i < kMaxPrinterEntries && !entries[static_cast<std::size_t>(i)].label.empty();
    };
    if (isPrinter(current)) return;
    int first = 0;
    while (first < kMaxPrinterEntries && !isPrinter(first)) ++first;
    current = first < kMaxPrinterEntries ? first : -1;
}

void PrinterList::ProbeAllEntries() {
    // Only this thread touches the tree: a probe that ends just says so.
    std::mutex mutex;
    std::condition_variable ended;
    int running = 0;
    bool treeStale = false;
    auto waitUntilRunningBelow = [&](int limit) {
        std::unique_lock lock(mutex);
        while (running >= limit || treeStale) {
            ended.wait(lock, [&] { return treeStale; });
            treeStale = false;
            lock.unlock();
            RebuildTree(false);
            lock.lock();
        }
    };

    std::vector<std::optional<ErrorCode>> monitorResults(static_cast<std::size_t>(portCount));
    std::vector<std::thread> probes;
    const int limit = std::max(probesAtOnce, 1);
    for (int i = 0; i < portCount; ++i) {
        waitUntilRunningBelow(limit);
        platform::PostMessage(notifyWindow, platform::WM_SEARCH_PROGRESS);
        const bool asked = IsAsked(records_[i].name);
        PrepareEntry(i, records_[i], asked);
        RebuildTree(false);
        if (!asked) continue;
        CPort* port = EntryPort(i);
        {
            std::lock_guard lock(mutex);
            ++running;
        }
        probes.emplace_back([&, i, port] {
            monitorResults[static_cast<std::size_t>(i)] = IdentifyEntry(i, *port);
            std::lock_guard lock(mutex);
            --running;
            treeStale = true;
            ended.notify_one();
        });
    }
    waitUntilRunningBelow(1);
    for (std::thread& probe : probes) probe.join();

    // The engine keeps the outcome of the last port that needed it, as when
    // the ports are probed in turn.
    for (auto it = monitorResults.rbegin(); it != monitorResults.rend(); ++it) {
        if (!*it) continue;
        engine.m_lastError = **it;
        break;
    }
}

bool PrinterList::IsAsked(const std::string& portName) const {
    return portsToAsk.empty() || std::find(portsToAsk.begin(), portsToAsk.end(), portName) != portsToAsk.end();
}

void PrinterList::PrepareEntry(int index, PortRecord& record, bool asked) {
    CPort& port = *record.port;
    if (record.kind == kPortKindSerial) {
        SerialPortSettings settings(static_cast<std::uint8_t>(record.number), kSearchBaudRate, kHandshakeRtsCts);
        port.SetSettings(&settings);
    } else {
        UsbPortSettings settings(static_cast<std::uint8_t>(record.number), "");
        port.SetSettings(&settings);
    }
    std::lock_guard lock(entriesMutex_);
    PrinterEntry& e = entries[static_cast<std::size_t>(index)];
    e.kind = record.kind == kPortKindSerial ? kPortKindSerial : kPortKindUsb;
    if (e.kind == kPortKindUsb) {
        e.vid = record.vid;
        e.pid = record.pid;
    }
    e.portName = record.name;
    e.port = std::move(record.port);
    e.commandSet = COMMAND_SET_UNKNOWN;
    e.treeItem = 0;
    e.label = asked ? kSearchingLabel : "";
}

std::optional<ErrorCode> PrinterList::IdentifyEntry(int index, CPort& port) {
    PrinterEntry& e = entries[static_cast<std::size_t>(index)];
    const bool serial = e.kind == kPortKindSerial;
    for (std::uint32_t set = 1; set <= kCommandSetAttempts && EntryLabel(index) == kSearchingLabel; ++set) {
        if (set == kInfoOnlyAttempt) {
            std::lock_guard lock(entriesMutex_);
            e.info = {0xFF, 0xFF, 0xFF, 0xFF};
            continue;
        }
        const CommandStrings s = BuildCommandStrings(set);
        std::string text = port.IdentifyPrinter(s.statusQuery, s.identQuery, s.cancel, s.replyMode);
        if (text.empty()) continue;
        {
            std::lock_guard lock(entriesMutex_);
            e.label = std::move(text);
            e.commandSet = set;
        }
        if (serial && set == COMMAND_SET_VRK) {
            const std::uint32_t handshake = DetectHandshake(index);
            if (auto* settings = dynamic_cast<SerialPortSettings*>(port.GetSettings())) settings->handshake = handshake;
        }
        OpenPort(index);
        SetReadTimeout(index, kInfoReadTimeoutMs);
        SendCancel(index);
        std::uint8_t info[4];
        ReadPrinterInfo(info, index);
        {
            std::lock_guard lock(entriesMutex_);
            std::copy(info, info + 4, e.info.begin());
        }
        SetReadTimeout(index, kDefaultReadTimeoutMs);
        SendCancel(index);
        ClosePort(index);
    }

    std::unique_lock lock(entriesMutex_);
    if (e.commandSet == COMMAND_SET_ESCPOS && e.label != kSearchingLabel && !e.label.empty())
        e.label.erase(0, 1);  // the reply starts with a header byte
    if (e.label != kSearchingLabel) return std::nullopt;
    e.commandSet = COMMAND_SET_UNKNOWN;
    lock.unlock();

    // Nothing answered: perhaps a printer waiting in its boot monitor.
    std::string label = kSearchingLabel;
    std::uint32_t family = 0;
    const ErrorCode result =
        engine.m_command == kCommandIdle ? engine.ProbeMonitorMode(&port, label, &family) : kErrEngBusy;
    const bool found = result == kOk;
    lock.lock();
    e.family = found ? family : 0;
    e.label = found ? label : std::string();
    return result;
}

int PrinterList::Resolve(int entry) const { return entry == -1 ? current.load() : entry; }

CPort* PrinterList::PortOf(int entry) {
    const int index = Resolve(entry);
    CPort* port = nullptr;
    if (index >= 0 && index < kMaxPrinterEntries) {
        std::lock_guard lock(entriesMutex_);
        port = entries[static_cast<std::size_t>(index)].port.get();
    }
    if (port == nullptr) SetListError(kErrIdNoPrinter);
    return port;
}

void PrinterList::SetListError(ErrorCode code) {
    lastError = code;
    if (code != kOk && notifyWindow != nullptr) platform::PostMessage(notifyWindow, platform::WM_SEARCH_ERROR, code);
}

bool PrinterList::OpenPort(int entry) {
    CPort* port = PortOf(entry);
    return port != nullptr && port->Open();
}

bool PrinterList::ClosePort(int entry) {
    CPort* port = PortOf(entry);
    return port != nullptr && port->Close();
}

int PrinterList::Write(int entry, const ByteArray& bytes) {
    CPort* port = PortOf(entry);
    return port != nullptr ? port->Write(bytes.data(), static_cast<int>(bytes.size())) : 0;
}

std::uint8_t PrinterList::ReadByte(int entry) {
    CPort* port = PortOf(entry);
    return port != nullptr ? port->ReadByte() : 0;
}

bool PrinterList::WaitSent(int entry) {
    CPort* port = PortOf(entry);
    return port != nullptr && port->WaitSent();
}

bool PrinterList::PurgeIn(int entry) {
    CPort* port = PortOf(entry);
    return port != nullptr && port->PurgeIn();
}

ErrorCode PrinterList::PortError(int entry) {
    CPort* port = PortOf(entry);
    return port != nullptr ? port->lastError : kErrIdNoPrinter;
}

void PrinterList::SetReadTimeout(int entry, std::uint32_t ms) {
    if (CPort* port = PortOf(entry)) port->readTimeout = ms;
}

void PrinterList::WriteAndWait(int entry, const ByteArray& bytes) {
    CPort* port = PortOf(entry);
    if (port == nullptr) return;
    port->Write(bytes.data(), static_cast<int>(bytes.size()));
    if (!port->WaitSent()) SetListError(port->lastError);
    SetListError(kOk);
}

void PrinterList::SendCancel(int entry) {
    CPort* port = PortOf(entry);
    if (port == nullptr) return;
    const std::uint32_t set = EntrySnapshot(entry).commandSet;
    if (set == COMMAND_SET_UNKNOWN) {
        SetListError(kErrIdUnknownPrinter);
        return;
    }
    const CommandStrings s = BuildCommandStrings(set);
    port->PurgeIn();
    WriteAndWait(entry, s.cancel);
}

std::uint32_t PrinterList::DetectHandshake(int entry) {
    CPort* port = PortOf(entry);
    if (port == nullptr) return kHandshakeRtsCts;
    const std::uint32_t set = EntrySnapshot(entry).commandSet;
    if (set == COMMAND_SET_UNKNOWN) {
        SetListError(kErrIdUnknownPrinter);
        return kHandshakeRtsCts;
    }
    if (set != COMMAND_SET_VRK) return kHandshakeRtsCts;

    port->Open();
    port->readTimeout = kHandshakeReadTimeoutMs;
    port->PurgeIn();
    port->Write(kHandshakeQuery.data(), static_cast<int>(kHandshakeQuery.size()));
    std::uint8_t b = port->ReadByte();
    std::uint32_t result;
    if (port->lastError == kOk && b != 0) {
        result = HandshakeFromReply(b);
    } else {
        SendCancel(entry);
        port->PurgeIn();
        port->Write(kHandshakeQueryAlt.data(), static_cast<int>(kHandshakeQueryAlt.size()));
        b = port->ReadByte();
        result = port->lastError != kOk ? kHandshakeRtsCts : HandshakeFromReply(b);
    }
    port->readTimeout = kDefaultReadTimeoutMs;
    port->Close();
    return result;
}

ErrorCode PrinterList::ReadPrinterInfo(std::uint8_t out[4], int entry) {
    CPort* port = PortOf(entry);
    if (port == nullptr) return kErrIdNoPrinter;
    port->PurgeIn();
    port->Write(kInfoQuery.data(), static_cast<int>(kInfoQuery.size()));
    for (int i = 0; i < 3; ++i) {
        out[i] = port->ReadByte();
        if (port->lastError != kOk) {
            out[0] = out[1] = out[2] = 0xFF;
            out[3] = 0;
            return port->lastError;
        }
    }
    out[3] = 1;
    return kOk;
}

std::string PrinterList::EntryLabel(int entry) const {
    const int index = Resolve(entry);
    if (index < 0 || index >= kMaxPrinterEntries) return {};
    std::lock_guard lock(entriesMutex_);
    return entries[static_cast<std::size_t>(index)].label;
}

PrinterEntry PrinterList::EntrySnapshot(int entry) const {
    PrinterEntry copy;
    const int index = Resolve(entry);
    if (index < 0 || index >= kMaxPrinterEntries) return copy;
    std::lock_guard lock(entriesMutex_);
    const PrinterEntry& e = entries[static_cast<std::size_t>(index)];
    copy.kind = e.kind;
    copy.label = e.label;
    copy.portName = e.portName;
    copy.family = e.family;
    copy.commandSet = e.commandSet;
    copy.info = e.info;
    copy.treeItem = e.treeItem;
    copy.vid = e.vid;
    copy.pid = e.pid;
    return copy;
}

CPort* PrinterList::EntryPort(int entry) const {
    const int index = Resolve(entry);
    if (index < 0 || index >= kMaxPrinterEntries) return nullptr;
    std::lock_guard lock(entriesMutex_);
    return entries[static_cast<std::size_t>(index)].port.get();
}

void PrinterList::SetEntryPort(int entry, std::unique_ptr<CPort> port) {
    std::lock_guard lock(entriesMutex_);
    entries[static_cast<std::size_t>(entry)].port = std::move(port);
}

}  // namespace carillon
