// The two CRC-16 variants of Layer III streams, each continuing from crc over n bytes.
#pragma once
#include <cstddef>
#include <cstdint>

// Frame protection: polynomial 0x8005, most significant bit first (streams start from 0xFFFF).
inline uint16_t crc16Frame(uint16_t crc, const uint8_t* p, size_t n) {
    for (size_t i = 0; i < n; ++i) {
        crc ^= uint16_t(p[i] << 8);
        for (int b = 0; b < 8; ++b) crc = uint16_t(crc & 0x8000 ? crc << 1 ^ 0x8005 : crc << 1);
    }
    return crc;
}

// Tag checksums: polynomial 0x8005 reflected, least significant bit first (from 0).
inline uint16_t crc16Reflected(uint16_t crc, const uint8_t* p, size_t n) {
    for (size_t i = 0; i < n; ++i) {
        crc ^= p[i];
        for (int b = 0; b < 8; ++b) crc = uint16_t(crc & 1 ? crc >> 1 ^ 0xA001 : crc >> 1);
    }
    return crc;
}
