#pragma once
// Raw IPv4/ICMP datagrams for the classifier tests and the forging peers.
#include <arpa/inet.h>
#include <cstdint>
#include <cstring>
#include <string>

#include "icmp/EchoPacket.h"

namespace vn::icmp::test {

inline std::uint32_t addr(const char* dotted) {
    in_addr a{};
    inet_pton(AF_INET, dotted, &a);
    return a.s_addr;
}

// An IPv4 header of ihl words (options zero-filled) before the payload.
inline std::string ipv4(const char* src, const char* dst, std::uint8_t ttl, const std::string& payload,
                        int ihl = 5) {
    std::string h(static_cast<std::size_t>(4 * ihl), '\0');
    h[0] = static_cast<char>(0x40 | (ihl & 0x0F));
    std::size_t total = h.size() + payload.size();
    h[2] = static_cast<char>(total >> 8);
    h[3] = static_cast<char>(total & 0xFF);
    h[8] = static_cast<char>(ttl);
    h[9] = 1;
    std::uint32_t s = addr(src), d = addr(dst);
    if (h.size() >= 20) {
        std::memcpy(h.data() + 12, &s, 4);
        std::memcpy(h.data() + 16, &d, 4);
    }
    return h + payload;
}

// An echo message (type 0 reply or 8 request) with our layout.
inline std::string echoMessage(std::uint8_t type, std::uint16_t id, std::uint16_t seq) {
    std::string m = buildEchoRequest(id, seq, 0);
    m[0] = static_cast<char>(type);
    m[2] = m[3] = 0;
    std::uint16_t sum = internetChecksum(m);
    std::memcpy(m.data() + 2, &sum, 2);
    return m;
}

// An ICMP error message of type/code quoting `quotedDatagram` (header plus at least 8 bytes).
inline std::string errorMessage(std::uint8_t type, std::uint8_t code, const std::string& quotedDatagram) {
    std::string m(8, '\0');
    m[0] = static_cast<char>(type);
    m[1] = static_cast<char>(code);
    m += quotedDatagram;
    std::uint16_t sum = internetChecksum(m);
    std::memcpy(m.data() + 2, &sum, 2);
    return m;
}

} // namespace vn::icmp::test
