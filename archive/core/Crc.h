// CRC-32 (ISO-HDLC, as in ZIP and GZIP) and CRC-16/ARC (ARC, LHA, ZOO).
// Callers keep the running value: CRC-32 starts at 0xFFFFFFFF and is
// complemented at the end, CRC-16 starts at 0 with no final xor.
#pragma once

#include <cstddef>
#include <cstdint>

void Crc32Update(const void* buf, std::size_t count, std::uint32_t& crc);
void Crc16Update(const void* buf, std::size_t count, std::uint16_t& crc);

// One-shot helpers giving the finished check values.
std::uint32_t crc32Of(const void* buf, std::size_t count);
std::uint16_t crc16Of(const void* buf, std::size_t count);

// The single-byte tables, for decoders that update the CRC byte by byte.
extern const std::uint32_t* const Crc32Table;
extern const std::uint16_t* const Crc16Table;
