#include "cli/Verify.h"

#include <algorithm>
#include <cstring>

#include "app/StringTable.h"
#include "cli/Cli.h"
#include "cli/CliPorts.h"
#include "engine/CommandGenerator.h"
#include "platform/Format.h"

namespace carillon::cli {
namespace {

// The position of the printer's file matching the package element, or -1.
int FindInTables(const CElementList& tables, const CElement& wanted) {
    int index = 0;
    for (const auto& e : tables.Elements()) {
        if (e->m_location == wanted.m_location && e->m_type == wanted.m_type && e->m_strName == wanted.m_strName)
            return index;
        ++index;
    }
    return -1;
}

ElementVerdict Compare(const CElement& sent, const CElement& stored) {
    ElementVerdict v{sent.m_strName, sent.m_type, sent.m_location};
    v.address = static_cast<std::uint32_t>(stored.m_address);
    const std::uint32_t unitBytes = IsWordAddressed(sent.m_location) ? 2 : 1;
    const std::uint32_t common = std::min(sent.m_size, stored.m_size);
    const std::uint8_t* a = sent.m_pData.get();
    const std::uint8_t* b = stored.m_pData.get();
    std::uint32_t first = common;
    if (a != nullptr && b != nullptr) {
        const auto diff = std::mismatch(a, a + common, b);
        first = static_cast<std::uint32_t>(diff.first - a);
    }
    if (first < common || sent.m_size != stored.m_size || (sent.m_crc & 0xFFFF) != (stored.m_crc & 0xFFFF)) {
        v.status = ElementVerdict::Status::kMismatch;
        v.address += first / unitBytes;
    }
    return v;
}

// What an update would keep of the element (the rest is dropped as unusable).
bool IsStorable(const CElement& e) {
    return e.m_type != kTypeInvalid && e.m_type != kTypeIndex && e.m_type < kElementTypeCount;
}

}  // namespace

int VerifyPackage(CCommandGenerator& engine, CPort* port, const std::string& package, Reporter& reporter) {
    CElementList sent;
    if (const ErrorCode e = sent.LoadPackage(package); e != kOk) {
        reporter.Summary(false, e, platform::Format(LoadString(IDS_INVALID_FILE_FORMAT).c_str(), package.c_str(), e));
        return kExitFailed;
    }
    int exit = kExitDone;
    if (!ConnectAndReadTables(engine, port, reporter, &exit)) return exit;

    int bad = 0, checked = 0;
    for (const auto& element : sent.Elements()) {
        if (!engine.m_session.IsLocationPresent(element->m_location) || !IsStorable(*element)) continue;
        ++checked;
        const int index = FindInTables(engine.m_elements, *element);
        ElementVerdict verdict{element->m_strName, element->m_type, element->m_location};
        if (index < 0) {
            verdict.status = ElementVerdict::Status::kMissing;
        } else {
            engine.PostReadElement(static_cast<std::uint32_t>(index));
            if (const ErrorCode r = WaitForCommand(engine, reporter); r != kOk) {
                verdict.status = ElementVerdict::Status::kUnreadable;
                verdict.code = r;
            } else {
                verdict = Compare(*element, *engine.m_elements.GetAt(engine.m_elements.FindIndex(index)));
            }
        }
        if (verdict.status != ElementVerdict::Status::kVerified) ++bad;
        reporter.Element(verdict);
    }
    engine.m_session.LeaveMonitorMode();
    if (checked == 0) {
        reporter.Summary(false, kErrJobNothingForPrinter, package + " holds no element this printer can store: nothing was verified");
        return kExitFailed;
    }
    const std::string summary = bad == 0 ? platform::Format("%d elements verified", checked)
                                         : platform::Format("%d of %d elements do not match the package", bad, checked);
    reporter.Summary(bad == 0, kOk, summary);
    return bad == 0 ? kExitDone : kExitFailed;
}

}  // namespace carillon::cli
