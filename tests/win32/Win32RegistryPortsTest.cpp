// The Windows backends' registry sources: the UART FIFO setting and the USB
// printer class driver's list, against keys each test makes in the prefix.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ports/SerialFifo.h"
#include "ports/UsbPort.h"

// After our headers: its macros would rename names in them.
#include <windows.h>

namespace carillon {
namespace {

// A key under HKEY_LOCAL_MACHINE for the length of a test; removed with
// everything below it afterwards.
class ScopedKey {
public:
    explicit ScopedKey(std::string path) : path_(std::move(path)) {
        ::RegDeleteTreeA(HKEY_LOCAL_MACHINE, path_.c_str());
        created_ = ::RegCreateKeyExA(HKEY_LOCAL_MACHINE, path_.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                                     &key_, nullptr) == ERROR_SUCCESS;
    }
    ~ScopedKey() {
        if (created_) ::RegCloseKey(key_);
        ::RegDeleteTreeA(HKEY_LOCAL_MACHINE, path_.c_str());
    }
    bool Created() const { return created_; }
    void SetDword(const char* name, DWORD value) {
        ::RegSetValueExA(key_, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof value);
    }
    void SetText(const char* name, const std::string& value) {
        ::RegSetValueExA(key_, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                         static_cast<DWORD>(value.size() + 1));
    }

private:
    std::string path_;
    HKEY key_ = nullptr;
    bool created_ = false;
};

std::string FifoKey(int com) {
    return "SYSTEM\\CurrentControlSet\\Enum\\ACPI\\PNP0501\\" + std::to_string(com) + "\\Device Parameters";
}

TEST(Win32Fifo, ReadsTheSettingAndCountsAMissingOneAsOn) {
    struct Case {
        const char* name;
        bool makeKey;
        bool setValue;
        DWORD value;
        std::uint32_t expected;
    } cases[] = {
        {"no key", false, false, 0, 1},
        {"no value", true, false, 0, 1},
        {"off", true, true, 0, 0},
        {"on", true, true, 1, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        if (!c.makeKey) {
            EXPECT_EQ(IsFifoEnabled(13), c.expected);
            continue;
        }
        ScopedKey key(FifoKey(13));
        ASSERT_TRUE(key.Created());
        if (c.setValue) key.SetDword("ForceFifoEnable", c.value);
        EXPECT_EQ(IsFifoEnabled(13), c.expected);
    }
}

TEST(Win32Fifo, DisablingWritesZeroOnlyWhereThePortHasItsKey) {
    EXPECT_FALSE(DisableFifo(14, 0));
    ScopedKey key(FifoKey(14));
    ASSERT_TRUE(key.Created());
    key.SetDword("ForceFifoEnable", 1);
    EXPECT_TRUE(DisableFifo(14, 0));
    EXPECT_EQ(IsFifoEnabled(14), 0u);
}

constexpr const char* kUsbKey = "SYSTEM\\CurrentControlSet\\Services\\usbprint\\Enum";
constexpr const char* kInterfaceClass = "#{28d78fad-5a12-11d1-ae5b-0000f803a8c2}";

class Win32UsbList : public ::testing::Test {
protected:
    void Fill(const std::vector<std::string>& ids, DWORD count) {
        ASSERT_TRUE(key_.Created());
        key_.SetDword("Count", count);
        for (std::size_t i = 0; i < ids.size(); ++i) key_.SetText(std::to_string(i).c_str(), ids[i]);
    }
    ScopedKey key_{kUsbKey};
};

TEST_F(Win32UsbList, EnumeratesTheDriversEntriesWithTheirIds) {
    Fill({"USB\\Vid_1209&Pid_00a1\\SN-1", "USB\\VID_ABCD&PID_0002\\5&2c1&0&1"}, 2);
    PortRecord records[4];
    ASSERT_EQ(CUsbPort().EnumeratePorts(records, 4, false), 2);
    EXPECT_STREQ(records[0].name, "USB1");
    EXPECT_EQ(records[0].vid, 0x1209u);
    EXPECT_EQ(records[0].pid, 0xA1u);
    // Capital letters are not the driver's spelling: no id is read.
    EXPECT_EQ(records[1].vid, 0u);
    EXPECT_TRUE(records[0].port->IsSupportedDevice(-1));
    EXPECT_FALSE(records[1].port->IsSupportedDevice(-1));
}

TEST_F(Win32UsbList, BuildsTheDeviceInterfacePathFromTheInstanceId) {
    Fill({"USB\\Vid_1209&Pid_00a1\\SN-1"}, 1);
    char path[kUsbPathSize] = {};
    char id[kUsbInstanceIdSize] = {};
    ASSERT_EQ(GetUsbDevicePath(0, path, sizeof path, id), 0);
    EXPECT_EQ(std::string(path), std::string("\\\\?\\USB#Vid_1209&Pid_00a1#SN-1") + kInterfaceClass);
    EXPECT_STREQ(id, "USB\\Vid_1209&Pid_00a1\\SN-1");
    std::string suffix;
    ASSERT_TRUE(GetUsbInstanceSuffix(0, suffix));
    EXPECT_EQ(suffix, "\\SN-1");
}

TEST_F(Win32UsbList, AnEmptyOrShortListOffersNothingToOpen) {
    struct Case {
        const char* name;
        std::vector<std::string> ids;
        DWORD count;
        int listed;
    } cases[] = {
        {"count 0", {"USB\\Vid_1209&Pid_0001\\A"}, 0, 0},
        // A count beyond the values read: the list ends at the first gap.
        {"count past the values", {"USB\\Vid_1209&Pid_0001\\A"}, 3, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Fill(c.ids, c.count);
        EXPECT_EQ(GetUsbPrinterCount(), c.listed);
        CUsbPort port;
        UsbPortSettings beyond(static_cast<std::uint8_t>(c.listed + 1), "");
        ASSERT_TRUE(port.SetSettings(&beyond));
        EXPECT_FALSE(port.Open());
        EXPECT_EQ(port.lastError, kErrPortCantOpen);
    }
}

TEST_F(Win32UsbList, AnEntryChosenBySuffixIsFoundUnderItsNewNumber) {
    Fill({"USB\\Vid_1209&Pid_0001\\A", "USB\\Vid_1209&Pid_0001\\B"}, 2);
    CUsbPort port;
    UsbPortSettings bySuffix(0, "\\B");
    ASSERT_TRUE(port.SetSettings(&bySuffix));
    int index = -1;
    ASSERT_TRUE(FindUsbInstance("\\B", &index));
    EXPECT_EQ(index, 1);
    EXPECT_TRUE(port.IsPrinterPresent());
    Fill({"USB\\Vid_1209&Pid_0001\\A"}, 1);
    EXPECT_FALSE(port.IsPrinterPresent());
}

}  // namespace
}  // namespace carillon
