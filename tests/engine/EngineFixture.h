#pragma once
// An engine connected to an in-process virtual printer.

#include <gtest/gtest.h>

#include <memory>

#include "engine/CommandGenerator.h"
#include "support/SimPrinter.h"

namespace carillon::testing {

class EngineTest : public ::testing::Test {
protected:
    // Connects to a printer already in its monitor, letting go of an earlier one first.
    void Start(sim::PrinterConfig config) {
        engine.m_session.Disconnect();
        config.startInMonitor = true;
        printer = std::make_unique<SimPrinter>(config);
        engine.m_session.m_timing = MonitorTiming{}.Scaled(0.05);
        ASSERT_EQ(engine.DoConnect(&printer->port, 1, 0), kOk);
    }

    static sim::PrinterConfig Config(sim::Family family, sim::ImageKind image = sim::ImageKind::kEmptyTables) {
        sim::PrinterConfig c;
        c.family = family;
        c.image = image;
        return c;
    }

    // Appends an element of the printer's family to the engine's list.
    CElement& Add(const std::string& name, std::int32_t type, std::int32_t location, std::uint32_t size,
                  bool withData = true) {
        auto e = std::make_unique<CElement>();
        e->m_strName = name;
        e->m_type = type;
        e->m_location = location;
        e->m_size = size;
        e->m_archi = engine.m_elements.m_archi;
        e->m_cryptMode = DefaultCryptMode(type);
        e->m_cryptFlag = DefaultCryptFlag(type);
        if (withData) {
            const ByteArray pattern = Pattern(size, static_cast<unsigned>(name.size()));
            e->m_pData.reset(new std::uint8_t[size]);
            std::copy(pattern.begin(), pattern.end(), e->m_pData.get());
        }
        CElement& ref = *e;
        engine.m_elements.Add(std::move(e));
        return ref;
    }

    // An element the printer's table already lists at address.
    CElement& AddStored(const std::string& name, std::int32_t type, std::int32_t location, std::uint32_t size,
                        std::int32_t address) {
        CElement& e = Add(name, type, location, size, false);
        e.m_address = address;
        e.m_saved = 1;
        return e;
    }

    std::unique_ptr<SimPrinter> printer;  // outlives the engine, which borrows its port
    CCommandGenerator engine;
};

}  // namespace carillon::testing
