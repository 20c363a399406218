#include "sim/VirtualPrinter.h"

#include <cstdio>
#include <fstream>

#include "sim/FlashLayout.h"
#include "sim/Trace.h"

namespace carillon::sim {

VirtualPrinter::VirtualPrinter(PrinterConfig config)
    : m_config(std::move(config)),
      m_flash(MakeFlash(m_config)),
      m_faults(m_config.faults),
      m_normal(m_config),
      m_monitor(m_config, m_flash, m_faults, m_counters) {
    ApplyStartingImage(m_config, m_flash);
    m_monitorTrace = [this](const std::string& text) { Trace(text); };
    m_monitor.Start();
    m_inMonitor = m_config.startInMonitor;
}

void VirtualPrinter::Trace(const std::string& text) const {
    if (!m_trace) return;
    const double ms = std::chrono::duration<double, std::milli>(Clock::now() - m_created).count();
    char stamp[32];
    std::snprintf(stamp, sizeof stamp, "%11.3f ms ", ms);
    m_trace(stamp + text);
}

bool VirtualPrinter::LineUnderstood(const LineSettings& line) const {
    if (line.usb) return true;
    return line.baud == (m_inMonitor ? kMonitorBaud : m_config.baudRate);
}

void VirtualPrinter::Receive(const std::uint8_t* data, std::size_t length, const LineSettings& line) {
    std::lock_guard lock(m_mutex);
    if (m_faults.Settings().silent || length == 0) return;
    if (line.usb && Clock::now() < m_usbBack) return;  // off the bus: nothing reaches it
    const bool lineFaults = m_faults.Settings().line.Active();
    ByteArray damaged;
    if (lineFaults) {
        damaged.assign(data, data + length);
        m_counters.lineFaults += m_faults.DamageLine(damaged, true);
        data = damaged.data();
        length = damaged.size();
    }
    const std::size_t answeredBefore = m_output.size();
    ReceiveBytes(data, length, line);
    if (lineFaults && m_output.size() > answeredBefore) {
        ByteArray answers(m_output.begin() + static_cast<std::ptrdiff_t>(answeredBefore), m_output.end());
        m_counters.lineFaults += m_faults.DamageLine(answers, false);
        m_output.resize(answeredBefore);
        m_output.insert(m_output.end(), answers.begin(), answers.end());
    }
}

void VirtualPrinter::ReceiveBytes(const std::uint8_t* data, std::size_t length, const LineSettings& line) {
    if (!LineUnderstood(line)) {
        // Sent at another rate, the bytes are noise to the UART and break any
        // command begun.
        m_counters.noiseBytes += static_cast<std::uint32_t>(length);
        m_normal.Reset();
        m_decoder.Reset();
        Trace("noise: " + std::to_string(length) + " bytes at " + std::to_string(line.baud) + " baud");
        return;
    }
    for (std::size_t i = 0; i < length; ++i) {
        const std::uint8_t b = data[i];
        if (!m_inMonitor) {
            m_normalBytes.push_back(b);
            NormalMode::Reply reply = m_normal.Feed(b);
            if (reply.command.empty()) continue;
            ++m_counters.normalCommands;
            Trace("PC> " + reply.command + (reply.answer.empty() ? "" : " -> " + HexBytes(reply.answer, 40)));
            m_output.insert(m_output.end(), reply.answer.begin(), reply.answer.end());
            if (reply.enterMonitor) {
                // The rest of this write came at the normal rate (noise to the
                // monitor) or went to a device that has just left the bus.
                StartMonitor(line.usb);
                m_counters.noiseBytes += static_cast<std::uint32_t>(length - i - 1);
                return;
            }
            continue;
        }
        std::optional<ByteArray> body = m_decoder.Feed(b);
        if (!body) continue;
        switch (HandleRequest(std::move(*body), line)) {
            case RequestEnd::kGoOn: break;
            case RequestEnd::kLeftMonitor:
                m_counters.noiseBytes += static_cast<std::uint32_t>(length - i - 1);
                return;
            case RequestEnd::kPrinterGone: return;  // the rest of this write is lost with the printer
        }
    }
}

VirtualPrinter::RequestEnd VirtualPrinter::HandleRequest(ByteArray body, const LineSettings& line) {
    const TraceFn& trace = m_trace ? m_monitorTrace : TraceFn{};
    const Faults& faults = m_faults.Settings();
    if (faults.powerCutAtRequest != 0 && m_counters.requests + 1 >= faults.powerCutAtRequest) {
        if (auto packet = ParseBody(body)) m_requests.push_back({body, *packet});
        m_monitor.HandleCutShort(body, trace);
        PowerCut(line.usb);
        return RequestEnd::kPrinterGone;
    }
    const RequestFault f = m_faults.DecideRequest(body.size() >= 4 ? body[3] : 0);
    if (f.lose) {
        ++m_counters.requestsLost;
        Trace("fault: a request of " + std::to_string(body.size()) + " bytes lost on the way");
        return RequestEnd::kGoOn;
    }
    if (f.damage && !body.empty()) {
        body[f.damagePick % body.size()] ^= static_cast<std::uint8_t>(1 + (f.damagePick >> 8) % 255);
        ++m_counters.requestsDamaged;
    }
    if (f.duplicate) ++m_counters.requestsDuplicated;
    for (int copy = 0; copy < (f.duplicate ? 2 : 1); ++copy) {
        if (auto packet = ParseBody(body)) m_requests.push_back({body, *packet});
        if (m_monitor.Handle(body, m_output, trace)) {
            LeaveMonitor(line.usb);
            return RequestEnd::kLeftMonitor;
        }
    }
    const std::uint32_t silentAfter = faults.silentAfterRequests;
    if (silentAfter != 0 && m_counters.requests >= silentAfter) {
        // Off from here on: the rest of this write is lost with the printer.
        Faults off = faults;
        off.silent = true;
        m_faults.Reset(off);
        Trace("silent after " + std::to_string(m_counters.requests) + " requests");
        return RequestEnd::kPrinterGone;
    }
    return RequestEnd::kGoOn;
}

void VirtualPrinter::PowerCut(bool usb) {
    ++m_counters.powerCuts;
    Faults once = m_faults.Settings();
    once.powerCutAtRequest = 0;
    m_faults.Reset(once);
    m_inMonitor = false;
    m_monitor.Start();  // the monitor's write addresses and counter are gone
    m_decoder.Reset();
    m_normal.Reset();
    Trace(std::string("power cut after ") + std::to_string(m_counters.requests) + " requests; back in normal mode" +
          (usb ? ", leaving the USB bus" : ""));
    if (usb) Depart();
}

void VirtualPrinter::StartMonitor(bool usb) {
    m_inMonitor = true;
    ++m_counters.monitorStarts;
    m_monitor.Start();
    m_decoder.Reset();
    Trace(std::string("boot monitor started") + (usb ? "; leaving the USB bus" : " at 115200 baud"));
    if (usb) Depart();
}

void VirtualPrinter::LeaveMonitor(bool usb) {
    m_inMonitor = false;
    ++m_counters.monitorExits;
    m_normal.Reset();
    Trace(std::string("back to normal mode") + (usb ? "; leaving the USB bus" : ""));
    if (usb) Depart();
}

void VirtualPrinter::Depart() {
    ++m_usbGeneration;
    m_usbBack = Clock::now() + std::chrono::milliseconds(m_config.usbReenumerateMs);
    m_changed.notify_all();
}

ByteArray VirtualPrinter::TakeOutput() {
    std::lock_guard lock(m_mutex);
    ByteArray out;
    out.swap(m_output);
    return out;
}

bool VirtualPrinter::InMonitor() const {
    std::lock_guard lock(m_mutex);
    return m_inMonitor;
}

std::uint8_t VirtualPrinter::AnswerSequence() const {
    std::lock_guard lock(m_mutex);
    return m_monitor.AnswerSequence();
}

std::uint32_t VirtualPrinter::WriteAddress(int location) const {
    std::lock_guard lock(m_mutex);
    return location >= 0 && location < 4 ? m_monitor.WriteAddress(location) : 0;
}

bool VirtualPrinter::UsbPresent() const {
    std::lock_guard lock(m_mutex);
    return Clock::now() >= m_usbBack;
}

std::uint32_t VirtualPrinter::UsbGeneration() const {
    std::lock_guard lock(m_mutex);
    return m_usbGeneration;
}

VirtualPrinter::Clock::time_point VirtualPrinter::UsbReturnTime() const {
    std::lock_guard lock(m_mutex);
    return m_usbBack;
}

bool VirtualPrinter::WaitForDeparture(std::uint32_t generation, Clock::time_point deadline) const {
    std::unique_lock lock(m_mutex);
    return m_changed.wait_until(lock, deadline, [&] { return m_usbGeneration != generation; });
}

bool VirtualPrinter::HasFlash(int location) const {
    return location == kLocMcu || location == kLocDsp || location == kLocKiosk;
}

ByteArray VirtualPrinter::ReadFlash(int location, std::uint32_t unit, std::uint32_t count) const {
    std::lock_guard lock(m_mutex);
    if (!HasFlash(location) || !m_flash[location].InRange(unit, count)) return {};
    return m_flash[location].Read(unit, count);
}

void VirtualPrinter::StoreFlash(int location, std::uint32_t unit, const ByteArray& bytes) {
    std::lock_guard lock(m_mutex);
    if (!HasFlash(location)) return;
    FlashMemory& mem = m_flash[location];
    if (mem.InRange(unit, (bytes.size() + mem.UnitBytes() - 1) / mem.UnitBytes())) mem.Store(unit, bytes);
}

void VirtualPrinter::EraseSector(int location, std::size_t sector) {
    std::lock_guard lock(m_mutex);
    if (HasFlash(location) && sector < m_flash[location].SectorCount()) m_flash[location].EraseSector(sector);
}

ByteArray VirtualPrinter::FlashImage(int location) const {
    std::lock_guard lock(m_mutex);
    return HasFlash(location) ? m_flash[location].Image() : ByteArray{};
}

bool VirtualPrinter::SetFlashImage(int location, const ByteArray& image) {
    std::lock_guard lock(m_mutex);
    return HasFlash(location) && m_flash[location].SetImage(image);
}

std::vector<SectorInfo> VirtualPrinter::SectorMap(int location) const {
    std::lock_guard lock(m_mutex);
    std::vector<SectorInfo> map;
    if (!HasFlash(location)) return map;
    const FlashMemory& mem = m_flash[location];
    for (std::size_t s = 0; s < mem.SectorCount(); ++s) map.push_back({mem.SectorStart(s), mem.SectorUnits(s), mem.SectorErased(s)});
    return map;
}

std::uint32_t VirtualPrinter::TableStart(int location) const {
    std::lock_guard lock(m_mutex);
    return HasFlash(location) ? sim::TableStart(m_config, m_flash, location) : 0;
}

TableContents VirtualPrinter::FileTable(int location) const {
    std::lock_guard lock(m_mutex);
    if (!HasFlash(location)) return {};
    const FlashMemory& mem = m_flash[location];
    const TableForm form = FormOf(location);
    const std::uint32_t start = sim::TableStart(m_config, m_flash, location);
    return ReadTable(form, mem.Read(start, static_cast<std::uint32_t>(AreaBytes(form) / mem.UnitBytes())));
}

std::vector<MonitorRequest> VirtualPrinter::Requests() const {
    std::lock_guard lock(m_mutex);
    return m_requests;
}

ByteArray VirtualPrinter::NormalModeBytes() const {
    std::lock_guard lock(m_mutex);
    return m_normalBytes;
}

void VirtualPrinter::ClearLogs() {
    std::lock_guard lock(m_mutex);
    m_requests.clear();
    m_normalBytes.clear();
}

Counters VirtualPrinter::GetCounters() const {
    std::lock_guard lock(m_mutex);
    return m_counters;
}

void VirtualPrinter::SetFaults(const Faults& faults) {
    std::lock_guard lock(m_mutex);
    m_faults.Reset(faults);
}

Faults VirtualPrinter::GetFaults() const {
    std::lock_guard lock(m_mutex);
    return m_faults.Settings();
}

void VirtualPrinter::SetSilent(bool silent) {
    std::lock_guard lock(m_mutex);
    Faults f = m_faults.Settings();
    f.silent = silent;
    m_faults.Reset(f);
}

void VirtualPrinter::SetTrace(TraceFn sink) {
    std::lock_guard lock(m_mutex);
    m_trace = std::move(sink);
}

// Flash file: "CVPFLASH", format 1, family, DSP ids, DSP table sector, three
// spare bytes, then the MCU, DSP and KIOSK images, each after its length
// (u32 little-endian).
namespace {
constexpr char kMagic[8] = {'C', 'V', 'P', 'F', 'L', 'A', 'S', 'H'};
constexpr int kImageLocations[] = {kLocMcu, kLocDsp, kLocKiosk};

void SetError(std::string* error, const std::string& text) {
    if (error) *error = text;
}
}  // namespace

bool VirtualPrinter::SaveFlash(const std::string& path, std::string* error) const {
    std::lock_guard lock(m_mutex);
    const std::string temp = path + ".tmp";
    {
        std::ofstream out(temp, std::ios::binary | std::ios::trunc);
        const char head[8] = {1, static_cast<char>(m_config.family), static_cast<char>(m_config.dspManufacturer),
                              static_cast<char>(m_config.dspDevice),
                              static_cast<char>(m_config.EffectiveDspTableSector()), 0, 0, 0};
        out.write(kMagic, sizeof kMagic);
        out.write(head, sizeof head);
        for (int loc : kImageLocations) {
            const ByteArray& image = m_flash[loc].Image();
            const std::uint32_t n = static_cast<std::uint32_t>(image.size());
            const char len[4] = {static_cast<char>(n), static_cast<char>(n >> 8), static_cast<char>(n >> 16),
                                 static_cast<char>(n >> 24)};
            out.write(len, 4);
            out.write(reinterpret_cast<const char*>(image.data()), static_cast<std::streamsize>(n));
        }
        if (!out.flush()) {
            SetError(error, "cannot write " + temp);
            return false;
        }
    }
    // Renamed into place so that an interrupted save leaves the old file whole.
    if (std::rename(temp.c_str(), path.c_str()) != 0) {
        SetError(error, "cannot replace " + path);
        return false;
    }
    return true;
}

bool VirtualPrinter::LoadFlash(const std::string& path, std::string* error) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        SetError(error, "cannot open " + path);
        return false;
    }
    char magic[8], head[8];
    if (!in.read(magic, 8) || !in.read(head, 8) || !std::equal(magic, magic + 8, kMagic) || head[0] != 1) {
        SetError(error, path + " is not a virtual printer flash file");
        return false;
    }
    std::lock_guard lock(m_mutex);
    const auto u = [](char c) { return static_cast<std::uint8_t>(c); };
    if (u(head[1]) != static_cast<std::uint8_t>(m_config.family) || u(head[2]) != m_config.dspManufacturer ||
        u(head[3]) != m_config.dspDevice || u(head[4]) != m_config.EffectiveDspTableSector()) {
        char text[160];
        std::snprintf(text, sizeof text,
                      "%s holds a %s printer with DSP chip %02X:%02X and its table in sector %u; "
                      "start the printer the same way",
                      path.c_str(), u(head[1]) <= 2 ? FamilyName(static_cast<Family>(u(head[1]))) : "?", u(head[2]),
                      u(head[3]), u(head[4]));
        SetError(error, text);
        return false;
    }
    FlashSet loaded = m_flash;
    for (int loc : kImageLocations) {
        unsigned char len[4];
        std::uint32_t n = 0;
        if (in.read(reinterpret_cast<char*>(len), 4))
            n = len[0] | (len[1] << 8) | (len[2] << 16) | (static_cast<std::uint32_t>(len[3]) << 24);
        ByteArray image(n);
        if (!in || n != loaded[loc].Image().size() || !in.read(reinterpret_cast<char*>(image.data()), n) ||
            !loaded[loc].SetImage(image)) {
            SetError(error, path + ": the " + std::string(loc == kLocDsp ? "DSP" : loc == kLocMcu ? "MCU" : "KIOSK") +
                                " image does not fit this printer");
            return false;
        }
    }
    m_flash = std::move(loaded);
    return true;
}

}  // namespace carillon::sim
