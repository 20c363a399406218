#include "sim/VerifyPackage.h"

#include <algorithm>
#include <cstdio>

#include "sim/FlashLayout.h"

namespace carillon::sim {
namespace {

int ArchiOf(Family family) {
    switch (family) {
        case Family::kPlv: return kArchiPlv;
        case Family::kNdx: return kArchiNdx;
        case Family::kKiosk: return kArchiKiosk;
    }
    return kArchiUnknown;
}

// Types the engine never programs: the table's own entries and empty slots.
bool Programmable(int type) { return type != kTypeIndex && type != kTypeFileEmpty && type != kTypeUnknownFile; }

}  // namespace

const char* VerifyStatusText(VerifyStatus status) {
    switch (status) {
        case VerifyStatus::kOk: return "ok";
        case VerifyStatus::kMissing: return "missing from the file table";
        case VerifyStatus::kSizeMismatch: return "size differs from the table entry";
        case VerifyStatus::kDataMismatch: return "flash differs";
        case VerifyStatus::kCrcMismatch: return "CRC differs from the table entry";
        case VerifyStatus::kNoTable: return "file table unreadable";
        case VerifyStatus::kNotForPrinter: return "not for this printer";
    }
    return "?";
}

std::vector<ElementCheck> VerifyPackage(const VirtualPrinter& printer, const CElementList& package) {
    std::vector<ElementCheck> checks;
    const PrinterConfig& config = printer.Config();
    for (const auto& element : package.Elements()) {
        const CElement& e = *element;
        if (!Programmable(e.m_type)) continue;
        ElementCheck c;
        c.name = e.m_strName;
        c.type = e.m_type;
        c.location = e.m_location;
        checks.push_back(c);
        ElementCheck& check = checks.back();
        if (e.m_archi != ArchiOf(config.family) || !printer.HasFlash(e.m_location) ||
            !config.HasLocation(e.m_location)) {
            check.status = VerifyStatus::kNotForPrinter;
            continue;
        }
        const TableContents table = printer.FileTable(e.m_location);
        if (table.status != TableStatus::kOk) {
            check.status = VerifyStatus::kNoTable;
            continue;
        }
        const TableForm form = FormOf(e.m_location);
        const std::string name = e.m_strName.substr(0, MaxNameLength(form));
        auto entry = std::find_if(table.files.begin(), table.files.end(),
                                  [&](const FileEntry& f) { return f.type == e.m_type && f.name == name; });
        if (entry == table.files.end()) {
            check.status = VerifyStatus::kMissing;
            continue;
        }
        check.address = entry->address;
        if (entry->sizeBytes != e.m_size) {
            check.status = VerifyStatus::kSizeMismatch;
            continue;
        }
        const std::uint32_t unitBytes = e.m_location == kLocDsp ? 2 : 1;
        const ByteArray flash = printer.ReadFlash(e.m_location, entry->address, e.m_size / unitBytes);
        const std::uint8_t* data = e.m_pData.get();
        if (flash.size() != e.m_size || (e.m_size != 0 && data == nullptr)) {
            check.status = VerifyStatus::kDataMismatch;
            continue;
        }
        const auto diff = std::mismatch(flash.begin(), flash.end(), data);
        if (diff.first != flash.end()) {
            check.status = VerifyStatus::kDataMismatch;
            check.firstDifference = entry->address + static_cast<std::uint32_t>(diff.first - flash.begin()) / unitBytes;
            continue;
        }
        if (entry->crc != (e.m_crc & 0xFFFF)) check.status = VerifyStatus::kCrcMismatch;
    }
    return checks;
}

ErrorCode VerifyPackageFile(const VirtualPrinter& printer, const std::string& path, std::vector<ElementCheck>* checks) {
    CElementList package;
    const ErrorCode result = package.LoadPackage(path);
    if (result != kOk) return result;
    *checks = VerifyPackage(printer, package);
    return kOk;
}

bool AllVerified(const std::vector<ElementCheck>& checks) {
    return AnyForPrinter(checks) && std::all_of(checks.begin(), checks.end(), [](const ElementCheck& c) {
        return c.status == VerifyStatus::kOk || c.status == VerifyStatus::kNotForPrinter;
    });
}

bool AnyForPrinter(const std::vector<ElementCheck>& checks) {
    return std::any_of(checks.begin(), checks.end(),
                       [](const ElementCheck& c) { return c.status != VerifyStatus::kNotForPrinter; });
}

std::string FormatCheck(const ElementCheck& c) {
    char text[256];
    const char* type = TypeKeyword(c.type);
    int n = std::snprintf(text, sizeof text, "%-11s %-14s %-24s %s", LocationName(c.location), type ? type : "?",
                          c.name.c_str(), VerifyStatusText(c.status));
    std::string s(text, static_cast<std::size_t>(n));
    if (c.status == VerifyStatus::kOk || c.status == VerifyStatus::kSizeMismatch || c.status == VerifyStatus::kCrcMismatch) {
        std::snprintf(text, sizeof text, " (at 0x%X)", c.address);
        s += text;
    } else if (c.status == VerifyStatus::kDataMismatch) {
        std::snprintf(text, sizeof text, " (entry at 0x%X, first difference at 0x%X)", c.address, c.firstDifference);
        s += text;
    }
    return s;
}

}  // namespace carillon::sim
