#pragma once

#include <QString>
#include <QtGlobal>

#include <optional>

// The address arithmetic of the automatic search (ProjectorManager::GetAddressRanges,
// ProbeRange and Search, in automaticsearch.cpp). Addresses are 32-bit numbers with the first
// octet most significant.

// First and last address of one local network, both included.
struct AddressRange
{
    quint32 first = 0;
    quint32 last = 0;
};

// Networks with more host bits than this are walked only in the /16 around the adapter's own
// address: a /8 would take two days at the pace of one probe per 10 ms.
inline constexpr int MAX_SEARCH_HOST_BITS = 16;

// The network of one adapter address. Its host bits are the trailing zero bits of the mask, so
// a mask whose last octet is odd gives the address alone and a non-contiguous mask counts as
// the contiguous mask of its trailing zeros; more than MAX_SEARCH_HOST_BITS are cut to the /16
// that holds the address. None for address 0 (an adapter without an address).
std::optional<AddressRange> NetworkRangeOf(quint32 address, quint32 mask);

// The range ProbeRange walks for the two texts; none when either is no dotted address, when last
// comes before first, or when the range holds 2^31 addresses or more.
std::optional<AddressRange> ProbeBoundsOf(const QString &first, const QString &last);

// Whether an address of the range is worth a probe: not ending in 0 or 255, and not the
// network or broadcast address of a range of four addresses or more.
bool IsProbedAddress(quint32 address, const AddressRange &range);

QString FormatIPv4(quint32 address);                   // "%d.%d.%d.%d"
std::optional<quint32> ParseIPv4(const QString &text); // exactly four decimal octets
