// The Windows serial backend where no line is needed: which COM ports it
// finds, and how it fails on a port that is not there.
#include <gtest/gtest.h>

#include <chrono>

#include "ports/SerialPort.h"
#include "ports/SerialPortMap.h"

// After our headers: its macros would rename names in them.
#include <windows.h>

namespace carillon {
namespace {

constexpr const char* kSerialComm = "HARDWARE\\DEVICEMAP\\SERIALCOMM";

TEST(Win32SerialPortMap, FindsThePortsTheSerialDriversList) {
    HKEY key = nullptr;
    ASSERT_EQ(::RegCreateKeyExA(HKEY_LOCAL_MACHINE, kSerialComm, 0, nullptr, REG_OPTION_VOLATILE, KEY_ALL_ACCESS,
                                nullptr, &key, nullptr),
              ERROR_SUCCESS);
    const char value[] = "COM11";
    ::RegSetValueExA(key, "\\Device\\CarillonTest", 0, REG_SZ, reinterpret_cast<const BYTE*>(value), sizeof value);
    ResetSerialPortMap();
    const SerialPortMap map = GetSerialPortMap();
    ::RegDeleteValueA(key, "\\Device\\CarillonTest");
    ::RegCloseKey(key);
    ResetSerialPortMap();
    ASSERT_EQ(map.count(11), 1u);
    EXPECT_EQ(map.at(11), "\\\\.\\COM11");
}

TEST(Win32SerialPort, APortThatIsNotThereFailsToOpenAtOnce) {
    struct Case {
        const char* name;
        SerialPortMap map;
    } cases[] = {
        {"no such number", {}},
        {"no such device", {{3, "\\\\.\\COM98"}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ScopedSerialPortMap scoped(c.map);
        CSerialPort port;
        SerialPortSettings settings(3, 115200, kHandshakeNone);
        ASSERT_TRUE(port.SetSettings(&settings));
        const auto start = std::chrono::steady_clock::now();
        EXPECT_FALSE(port.Open());
        EXPECT_EQ(port.lastError, kErrPortCantOpen);
        EXPECT_FALSE(port.IsOpen());
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
        // Closed, every transfer reports the closed port instead of waiting.
        EXPECT_EQ(port.ReadByte(), 0);
        EXPECT_EQ(port.lastError, kErrPortNotOpen);
    }
}

}  // namespace
}  // namespace carillon
