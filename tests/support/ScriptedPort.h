#pragma once
// A port for protocol tests: records what is written, hands out scripted
// input, and can answer each write through a callback. A read with nothing
// queued fails at once with the reading time-out, as a silent line would.

#include <deque>
#include <functional>
#include <vector>

#include "ports/Port.h"

namespace carillon::testing {

class ScriptedPort : public CPort {
public:
    explicit ScriptedPort(const char (&type)[4] = kSerialType) {
        if (type[0] == 'S') settings = std::make_unique<SerialPortSettings>(1, 9600, kHandshakeRtsCts);
        else settings = std::make_unique<UsbPortSettings>(1, "");
    }

    void Feed(const std::vector<std::uint8_t>& bytes) { input.insert(input.end(), bytes.begin(), bytes.end()); }

    bool Open() override {
        if (isOpen) return SetError(kErrPortAlreadyOpen), true;
        isOpen = true;
        handle = 3;
        ++opens;
        return SetError(kOk), true;
    }
    bool Close() override {
        if (!isOpen) return SetError(kErrPortAlreadyClosed), true;
        isOpen = false;
        handle = -1;
        return SetError(kOk), true;
    }
    PortSettings* GetSettings() override { return settings.get(); }
    int Write(const std::uint8_t* data, int length) override {
        if (failWrites) {
            SetError(kErrPortSend);
            return 0;
        }
        written.insert(written.end(), data, data + length);
        SetError(kOk);
        if (onWrite) onWrite(std::vector<std::uint8_t>(data, data + length));
        return length;
    }
    std::uint8_t ReadByte() override {
        if (input.empty()) {
            SetError(kErrPortReadTimeout);
            return 0;
        }
        std::uint8_t b = input.front();
        input.pop_front();
        SetError(kOk);
        return b;
    }
    bool WaitSent() override { return SetError(waitSentFails ? kErrPortFlushTimeout : kOk) == kOk; }
    bool PurgeIn() override {
        if (purgeClearsInput) input.clear();
        return SetError(kOk), true;
    }
    bool PurgeOut() override { return SetError(kOk), true; }
    int GetInCount() override { return static_cast<int>(input.size()); }

    std::deque<std::uint8_t> input;
    std::vector<std::uint8_t> written;
    std::function<void(const std::vector<std::uint8_t>&)> onWrite;
    bool failWrites = false;
    bool waitSentFails = false;
    bool purgeClearsInput = true;
    int opens = 0;
};

}  // namespace carillon::testing
