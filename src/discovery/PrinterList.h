#pragma once
// PrinterList: the printers found by the last search, one entry per port,
// the entry chosen in the tree (current), and the engine that updates it.
// The search runs on the worker thread, which probes the ports on threads of
// their own, all at once; the dialog's thread reads entries and sets current
// while it runs, so entry fields are read and written under a lock.

#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "discovery/TreeControl.h"
#include "engine/CommandGenerator.h"
#include "errors/ErrorCode.h"
#include "platform/ByteArray.h"
#include "platform/Event.h"
#include "platform/MessageTarget.h"
#include "ports/PortSettings.h"

namespace carillon {

class CPort;

enum CommandSet : std::uint32_t {
    COMMAND_SET_VRK = 1,
    COMMAND_SET_ESCPOS = 2,
    COMMAND_SET_UNKNOWN = 3,
    COMMAND_SET_KESTREL = 4,
};

constexpr int kMaxPortRecords = 50;
constexpr int kMaxPrinterEntries = 100;
constexpr const char* kSearchingLabel = "Searching...";

struct PrinterEntry {
    std::uint32_t kind = kPortKindEmpty;
    std::string label;
    std::string portName;
    std::uint32_t family = 0;
    std::uint32_t commandSet = COMMAND_SET_UNKNOWN;
    std::array<std::uint8_t, 4> info{};
    std::unique_ptr<CPort> port;
    TreeItem treeItem = 0;
    std::uint32_t vid = 0;
    std::uint32_t pid = 0;
};

struct TreeItemSlot {
    TreeItem item = 0;
    std::string text;
    int entryIndex = 0;
};

// The three byte strings that address a printer in one command set.
struct CommandStrings {
    ByteArray cancel;
    ByteArray statusQuery;
    ByteArray identQuery;
    int replyMode = -1;  // -1: a text up to a NUL byte; 1: exactly four bytes
};

class PrinterList {
public:
    PrinterList();
    ~PrinterList();
    PrinterList(const PrinterList&) = delete;
    PrinterList& operator=(const PrinterList&) = delete;

    // Runs one search; returns the number of entries filled.
    int SearchPrinters();
    void ResetPrinterList();
    // Disconnects the engine's session from the port it borrows, unless the
    // engine is busy (then kErrEngBusy goes to the engine's last error).
    void ReleaseSession();

    // Entry operations: entry -1 means current; an entry without a port
    // reports 0x00050001 and does nothing else.
    void SetListError(ErrorCode code);
    bool OpenPort(int entry);
    bool ClosePort(int entry);
    int Write(int entry, const ByteArray& bytes);
    std::uint8_t ReadByte(int entry);
    bool WaitSent(int entry);
    bool PurgeIn(int entry);
    ErrorCode PortError(int entry);
    void SetReadTimeout(int entry, std::uint32_t ms);
    void WriteAndWait(int entry, const ByteArray& bytes);
    void SendCancel(int entry);
    std::uint32_t DetectHandshake(int entry);
    ErrorCode ReadPrinterInfo(std::uint8_t out[4], int entry);

    // The byte strings of a command set; another set leaves them empty and
    // reports 0x00050004.
    CommandStrings BuildCommandStrings(std::uint32_t commandSet);

    // Tree.
    void SetTree(TreeControl* tree, int reserved, TreeImageList* images);
    void RebuildTree(bool wakeUp);
    void UpdateTreeBold();
    bool OnTreeSelChanged();

    // Copies for the dialog's thread.
    std::string EntryLabel(int entry) const;
    PrinterEntry EntrySnapshot(int entry) const;  // without the port
    CPort* EntryPort(int entry) const;
    // Puts a port into an entry (silent mode's one configured port).
    void SetEntryPort(int entry, std::unique_ptr<CPort> port);

    int portCount = 0;
    std::array<PrinterEntry, kMaxPrinterEntries> entries;
    platform::MessageTarget* notifyWindow = nullptr;
    std::atomic<ErrorCode> lastError{kOk};
    std::atomic<int> current{0};
    // Ports probed at the same time; 1 probes them one after another. The
    // results are the same either way, only the time differs.
    int probesAtOnce = kMaxPortRecords;
    // The ports a search asks, by name ("COM5", "USB1"); empty asks them
    // all. The others are listed, neither woken nor probed: a caller that
    // names its port does not wait out the silent ones.
    std::vector<std::string> portsToAsk;
    bool IsAsked(const std::string& portName) const;
    CCommandGenerator engine;

private:
    int Resolve(int entry) const;
    CPort* PortOf(int entry);
    void ProbeAllEntries();
    void PrepareEntry(int index, PortRecord& record, bool asked);
    // The engine's result when the entry needed the monitor probe.
    std::optional<ErrorCode> IdentifyEntry(int index, CPort& port);
    void ApplyBoldLocked();
    // After a search: a current entry that is gone or silent gives way to the
    // first printer found; with no printer at all nothing is current.
    void ChooseCurrentPrinter();

    std::unique_ptr<PortRecord[]> records_;
    platform::AutoResetEvent searchDone_{true};
    mutable std::mutex entriesMutex_;  // entry fields, tree slots
    TreeControl* tree_ = nullptr;
    std::array<TreeItemSlot, kMaxPrinterEntries> treeItems_;
};

}  // namespace carillon
