#pragma once

#include <array>
#include <string>
#include <string_view>
#include <vector>

namespace zandel {

// An IP address as 16 bytes (IPv4 as an IPv4-mapped IPv6 address), so that every spelling of one address
// compares equal.
using IpBytes = std::array<unsigned char, 16>;
// An IPv4 address's four bytes in network order as IpBytes, and whether IpBytes hold an IPv4 address.
IpBytes Ipv4Bytes(const void* four);
bool IsIpv4(const IpBytes& bytes);
// IPv4 dotted (leading zeros allowed), IPv6 in any of its forms (brackets, a zone, an embedded IPv4 part).
bool ParseIpBytes(std::string_view text, IpBytes& out);

// One of the addresses that are ours: as the judge saw us directly, or one of this machine's own.
struct OwnAddress {
    IpBytes bytes{};
    std::string text; // as the user knows it, for the reason line
};
using OwnAddresses = std::vector<OwnAddress>;
// Adds the address unless it is there already.
void AddOwnAddress(OwnAddresses& ours, const IpBytes& bytes, const std::string& text);
// The addresses of this machine's interfaces: a proxy reached over another interface or address family than the
// judge was sees one of these as ours.
OwnAddresses MachineAddresses();
// Which of `ours` `text` names anywhere, in any spelling a proxy writes or a program reads as that address: alone or
// with a port ("1.2.3.4:80", "[::1]:80"), quoted, after a word and a colon ("ip:1.2.3.4"), as RFC 7239's
// for="[::1]", in a chain, IPv4-mapped, zero-padded, or as the integer forms inet_aton reads ("2130706433",
// "0x7f000001", "0177.1"). Null when none.
const OwnAddress* FindOwnAddress(std::string_view text, const OwnAddresses& ours);
bool MentionsAddress(std::string_view text, const IpBytes& address);

} // namespace zandel
