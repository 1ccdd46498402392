// Byte encoding helpers: the only place in the engine that shifts bytes.
//
// ByteView is a bounds-checked window over memory that the caller owns. Every
// read checks its range and throws a corruption error naming the page and
// offset instead of reading past the end. Jet stores integers little-endian,
// except inside index entries, which are big-endian (readBE/writeBE).
#pragma once

#include <cstdint>
#include <cstring>
#include <span>
#include <string>

#include "jet/jet.h"

namespace jet {

// Raises the engine's corruption error. `where` names the structure; page
// and offset say where it was first seen (page -1 when not page-bound).
[[noreturn]] void corrupt(const std::string& where, std::int64_t page = -1,
                          std::int64_t offset = -1);

class ByteView {
  public:
    ByteView() = default;
    ByteView(const std::uint8_t* data, std::size_t size, std::int64_t page = -1)
        : data_(data), size_(size), page_(page) {}
    explicit ByteView(std::span<const std::uint8_t> s, std::int64_t page = -1)
        : data_(s.data()), size_(s.size()), page_(page) {}

    std::size_t size() const { return size_; }
    const std::uint8_t* data() const { return data_; }
    std::int64_t page() const { return page_; }

    // A sub-view [offset, offset+length), checked.
    ByteView sub(std::size_t offset, std::size_t length) const {
        check(offset, length);
        return ByteView(data_ + offset, length, page_);
    }
    std::uint8_t u8(std::size_t offset) const {
        check(offset, 1);
        return data_[offset];
    }
    std::uint16_t u16(std::size_t offset) const {
        return static_cast<std::uint16_t>(readLE(offset, 2));
    }
    std::uint32_t u24(std::size_t offset) const {
        return static_cast<std::uint32_t>(readLE(offset, 3));
    }
    std::uint32_t u32(std::size_t offset) const {
        return static_cast<std::uint32_t>(readLE(offset, 4));
    }
    std::int16_t i16(std::size_t offset) const { return static_cast<std::int16_t>(u16(offset)); }
    std::int32_t i32(std::size_t offset) const { return static_cast<std::int32_t>(u32(offset)); }
    std::int64_t i64(std::size_t offset) const {
        return static_cast<std::int64_t>(readLE(offset, 8));
    }
    double f64(std::size_t offset) const {
        std::uint64_t bits = readLE(offset, 8);
        double d;
        std::memcpy(&d, &bits, 8);
        return d;
    }
    float f32(std::size_t offset) const {
        std::uint32_t bits = u32(offset);
        float f;
        std::memcpy(&f, &bits, 4);
        return f;
    }
    // Big-endian unsigned integer of 1..8 bytes (index entries).
    std::uint64_t readBE(std::size_t offset, std::size_t width) const {
        check(offset, width);
        std::uint64_t v = 0;
        for (std::size_t i = 0; i < width; ++i) v = (v << 8) | data_[offset + i];
        return v;
    }
    std::uint64_t readLE(std::size_t offset, std::size_t width) const {
        check(offset, width);
        std::uint64_t v = 0;
        for (std::size_t i = width; i-- > 0;) v = (v << 8) | data_[offset + i];
        return v;
    }

    void check(std::size_t offset, std::size_t length) const {
        if (offset > size_ || length > size_ - offset)
            corrupt("read past the end of a structure", page_, static_cast<std::int64_t>(offset));
    }

  private:
    const std::uint8_t* data_ = nullptr;
    std::size_t size_ = 0;
    std::int64_t page_ = -1;
};

// Mutable counterpart for building pages and rows.
class ByteSpan {
  public:
    ByteSpan(std::uint8_t* data, std::size_t size, std::int64_t page = -1)
        : data_(data), size_(size), page_(page) {}
    ByteView view() const { return ByteView(data_, size_, page_); }
    std::size_t size() const { return size_; }
    std::uint8_t* data() const { return data_; }

    void u8(std::size_t offset, std::uint8_t v) { writeLE(offset, 1, v); }
    void u16(std::size_t offset, std::uint16_t v) { writeLE(offset, 2, v); }
    void u24(std::size_t offset, std::uint32_t v) { writeLE(offset, 3, v); }
    void u32(std::size_t offset, std::uint32_t v) { writeLE(offset, 4, v); }
    void i64(std::size_t offset, std::int64_t v) {
        writeLE(offset, 8, static_cast<std::uint64_t>(v));
    }
    void f64(std::size_t offset, double d) {
        std::uint64_t bits;
        std::memcpy(&bits, &d, 8);
        writeLE(offset, 8, bits);
    }
    void f32(std::size_t offset, float f) {
        std::uint32_t bits;
        std::memcpy(&bits, &f, 4);
        writeLE(offset, 4, bits);
    }
    void writeLE(std::size_t offset, std::size_t width, std::uint64_t v) {
        view().check(offset, width);
        for (std::size_t i = 0; i < width; ++i)
            data_[offset + i] = static_cast<std::uint8_t>(v >> (8 * i));
    }
    void writeBE(std::size_t offset, std::size_t width, std::uint64_t v) {
        view().check(offset, width);
        for (std::size_t i = 0; i < width; ++i)
            data_[offset + i] = static_cast<std::uint8_t>(v >> (8 * (width - 1 - i)));
    }

  private:
    std::uint8_t* data_;
    std::size_t size_;
    std::int64_t page_;
};

// Appends an unsigned integer of 1..8 bytes, little-endian, to a byte string
// being built (rows, property blobs, journal records).
inline void appendLE(Bytes& out, std::uint64_t v, std::size_t width) {
    for (std::size_t i = 0; i < width; ++i) out.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
}
inline void appendU16(Bytes& out, std::uint16_t v) { appendLE(out, v, 2); }
inline void appendU32(Bytes& out, std::uint32_t v) { appendLE(out, v, 4); }

}  // namespace jet
