#pragma once
// Builds package files byte by byte for tests.

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "package/Crc16.h"

namespace carillon::testing {

inline std::string Bytes(std::initializer_list<int> values) {
    std::string s;
    for (int v : values) s.push_back(static_cast<char>(v));
    return s;
}

// "0x%04X" of the CRC that a loader computes over data padded to 4 bytes.
inline std::string CrcField(const std::string& data) {
    std::vector<std::uint8_t> padded(data.begin(), data.end());
    padded.resize((padded.size() + 3) & ~std::size_t{3}, 0);
    char text[16];
    std::snprintf(text, sizeof text, "0x%04X", ComputeCrc16(0xFFFF, padded.data(), padded.size()));
    return text;
}

// One element: its header fields, the closing ";" and the data.
inline std::string Element(const std::string& fields, const std::string& data) { return fields + ";" + data; }

// A NOT_CRYPTED element with a correct CRC.
inline std::string PlainElement(const std::string& name, const std::string& data, const std::string& extra = "") {
    return Element("NAME=" + name + ";ELEMENT_TYPE=DATA;CRYPTED=NOT_CRYPTED;SIZE=" + std::to_string(data.size()) +
                       ";CRC=" + CrcField(data) + ";" + extra,
                   data);
}

inline std::string Package(int count, const std::string& elements) {
    char head[32];
    std::snprintf(head, sizeof head, "NBR_VRK_PACKAGE=0x%04X;", count);
    return head + elements;
}

}  // namespace carillon::testing
