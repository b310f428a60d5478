// Reads a fuzzer's byte string as a stream of little-endian values, from the front. When the bytes run
// out every read answers 0, so any prefix of an input is itself a complete input.
#ifndef FUZZ_BYTE_READER_H
#define FUZZ_BYTE_READER_H

#include <cstddef>
#include <cstdint>
#include <cstring>

class ByteReader {
public:
    ByteReader(const uint8_t* data, size_t size) : m_data(data), m_size(size) {}

    bool Empty() const { return m_position >= m_size; }

    uint8_t U8() { return Read<uint8_t>(); }
    uint16_t U16() { return Read<uint16_t>(); }
    uint32_t U32() { return Read<uint32_t>(); }
    int16_t I16() { return Read<int16_t>(); }
    int32_t I32() { return Read<int32_t>(); }
    float F32() { return Read<float>(); }

    // One of `count` choices (count > 0).
    uint32_t Choice(uint32_t count) { return U8() % count; }

private:
    template <typename T>
    T Read() {
        T value{};
        size_t available = m_size - (m_position < m_size ? m_position : m_size);
        size_t take = available < sizeof(T) ? available : sizeof(T);
        std::memcpy(&value, m_data + m_position, take);
        m_position += sizeof(T);
        return value;
    }

    const uint8_t* m_data;
    size_t m_size;
    size_t m_position = 0;
};

#endif  // FUZZ_BYTE_READER_H
