// An unsigned 128-bit integer for Decimal magnitudes.
//
// Access keeps a Decimal's unscaled magnitude in 128 bits (four 32-bit
// words). 32-bit compilers have no 128-bit integer type, so the engine does
// the little arithmetic it needs (times ten plus a digit, divided by ten,
// word and byte access) on four 32-bit words with 64-bit intermediates.
// A value type; pure functions, safe from any thread.
#pragma once

#include <array>
#include <cstdint>

namespace jet {

class UInt128 {
  public:
    constexpr UInt128() = default;
    constexpr explicit UInt128(std::uint64_t v)
        : words_{static_cast<std::uint32_t>(v), static_cast<std::uint32_t>(v >> 32), 0, 0} {}

    // Word i, 0 the least significant.
    constexpr std::uint32_t word(int i) const { return words_[static_cast<std::size_t>(i)]; }
    constexpr void setWord(int i, std::uint32_t w) { words_[static_cast<std::size_t>(i)] = w; }
    // Byte i, 0 the least significant.
    constexpr std::uint8_t byte(int i) const {
        return static_cast<std::uint8_t>(word(i / 4) >> (8 * (i % 4)));
    }

    constexpr bool isZero() const { return (words_[0] | words_[1] | words_[2] | words_[3]) == 0; }
    // Whether the value needs more than `bits` bits (0..128).
    constexpr bool exceedsBits(int bits) const {
        for (int i = 3; i >= 0; --i) {
            const std::uint32_t w = word(i);
            if (w == 0) continue;
            int width = 32;
            while (width > 0 && (w >> (width - 1)) == 0) --width;
            return 32 * i + width > bits;
        }
        return false;
    }

    // *this = *this * factor + addend. False, with the value unchanged, when
    // the result does not fit in 128 bits.
    constexpr bool multiplyAdd(std::uint32_t factor, std::uint32_t addend) {
        std::array<std::uint32_t, 4> out{};
        std::uint64_t carry = addend;
        for (std::size_t i = 0; i < 4; ++i) {
            const std::uint64_t t = std::uint64_t{words_[i]} * factor + carry;
            out[i] = static_cast<std::uint32_t>(t);
            carry = t >> 32;
        }
        if (carry != 0) return false;
        words_ = out;
        return true;
    }

    // *this /= divisor (not zero); returns the remainder.
    constexpr std::uint32_t divide(std::uint32_t divisor) {
        std::uint64_t rest = 0;
        for (std::size_t i = 4; i-- > 0;) {
            const std::uint64_t t = (rest << 32) | words_[i];
            words_[i] = static_cast<std::uint32_t>(t / divisor);
            rest = t % divisor;
        }
        return static_cast<std::uint32_t>(rest);
    }

    friend constexpr bool operator==(const UInt128&, const UInt128&) = default;

  private:
    std::array<std::uint32_t, 4> words_{};  // least significant first
};

}  // namespace jet
