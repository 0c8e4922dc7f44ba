#pragma once

// Fixed-size little-endian byte images and safe field access over them.
//
// Every record the program keeps (profiles, buttons, recoil patterns, macros, the store header)
// is a byte image whose bytes are the file format and, in part, the mouse's wire format. The
// image is held exactly as laid out, reserved bytes included, and fields are read and written
// through the helpers below, never through host structs, so neither the host's byte order nor
// its padding can leak into a file.

#include <QString>
#include <QStringView>
#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

namespace mokta {

// Reads and writes of little-endian integers at a byte offset. The caller guarantees that the
// field lies inside the span; every record checks its field offsets at compile time.
inline std::uint16_t LoadU16(const std::uint8_t* p) {
  return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}
inline std::uint32_t LoadU32(const std::uint8_t* p) {
  return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
         (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}
inline void StoreU16(std::uint8_t* p, std::uint16_t v) {
  p[0] = static_cast<std::uint8_t>(v);
  p[1] = static_cast<std::uint8_t>(v >> 8);
}
inline void StoreU32(std::uint8_t* p, std::uint32_t v) {
  p[0] = static_cast<std::uint8_t>(v);
  p[1] = static_cast<std::uint8_t>(v >> 8);
  p[2] = static_cast<std::uint8_t>(v >> 16);
  p[3] = static_cast<std::uint8_t>(v >> 24);
}

// Reads a UTF-16LE text field of `units` code units: the text up to the first 0 unit, or the
// whole field when a damaged record holds no terminator. Never reads past the field.
QString LoadText(std::span<const std::uint8_t> field);

// Writes `text` into a UTF-16LE field: at most `units - 1` code units (never splitting a
// surrogate pair), then a 0 terminator, then zeros to the end of the field. A field of 0 units
// is left alone.
void StoreText(std::span<std::uint8_t> field, QStringView text);

// Cuts `text` to at most `max_units` UTF-16 code units without leaving half a surrogate pair.
QString TruncateToUnits(QStringView text, qsizetype max_units);

// True when the UTF-16LE field holds a 0 unit.
bool TextTerminated(std::span<const std::uint8_t> field);

// A byte image of N bytes with typed field access by offset. Offsets and widths are template
// arguments, so a field that does not fit the image fails to compile.
template <std::size_t N>
class ByteImage {
 public:
  static constexpr std::size_t kSize = N;

  std::span<std::uint8_t, N> bytes() { return bytes_; }
  std::span<const std::uint8_t, N> bytes() const { return bytes_; }

  template <std::size_t Off>
  std::uint8_t U8() const {
    static_assert(Off + 1 <= N);
    return bytes_[Off];
  }
  template <std::size_t Off>
  void SetU8(std::uint8_t v) {
    static_assert(Off + 1 <= N);
    bytes_[Off] = v;
  }
  template <std::size_t Off>
  std::uint16_t U16() const {
    static_assert(Off + 2 <= N);
    return LoadU16(bytes_.data() + Off);
  }
  template <std::size_t Off>
  void SetU16(std::uint16_t v) {
    static_assert(Off + 2 <= N);
    StoreU16(bytes_.data() + Off, v);
  }
  template <std::size_t Off>
  std::uint32_t U32() const {
    static_assert(Off + 4 <= N);
    return LoadU32(bytes_.data() + Off);
  }
  template <std::size_t Off>
  void SetU32(std::uint32_t v) {
    static_assert(Off + 4 <= N);
    StoreU32(bytes_.data() + Off, v);
  }
  template <std::size_t Off>
  std::int32_t I32() const {
    return static_cast<std::int32_t>(U32<Off>());
  }
  template <std::size_t Off>
  void SetI32(std::int32_t v) {
    SetU32<Off>(static_cast<std::uint32_t>(v));
  }

  // Element `i` of an array of `Count` 32-bit values at `Off`; out-of-range reads give 0 and
  // out-of-range writes are dropped.
  template <std::size_t Off, std::size_t Count>
  std::int32_t I32At(std::size_t i) const {
    static_assert(Off + 4 * Count <= N);
    return i < Count ? static_cast<std::int32_t>(LoadU32(bytes_.data() + Off + 4 * i)) : 0;
  }
  template <std::size_t Off, std::size_t Count>
  void SetI32At(std::size_t i, std::int32_t v) {
    static_assert(Off + 4 * Count <= N);
    if (i < Count) StoreU32(bytes_.data() + Off + 4 * i, static_cast<std::uint32_t>(v));
  }

  template <std::size_t Off, std::size_t Units>
  QString Text() const {
    static_assert(Off + 2 * Units <= N);
    return LoadText(std::span<const std::uint8_t>(bytes_).subspan(Off, 2 * Units));
  }
  template <std::size_t Off, std::size_t Units>
  void SetText(QStringView text) {
    static_assert(Off + 2 * Units <= N);
    StoreText(std::span<std::uint8_t>(bytes_).subspan(Off, 2 * Units), text);
  }
  template <std::size_t Off, std::size_t Units>
  bool TextIsTerminated() const {
    static_assert(Off + 2 * Units <= N);
    return TextTerminated(std::span<const std::uint8_t>(bytes_).subspan(Off, 2 * Units));
  }

  // A sub-range of the image, checked at compile time.
  template <std::size_t Off, std::size_t Len>
  std::span<std::uint8_t, Len> Range() {
    static_assert(Off + Len <= N);
    return std::span<std::uint8_t, Len>(bytes_.data() + Off, Len);
  }
  template <std::size_t Off, std::size_t Len>
  std::span<const std::uint8_t, Len> Range() const {
    static_assert(Off + Len <= N);
    return std::span<const std::uint8_t, Len>(bytes_.data() + Off, Len);
  }

  friend bool operator==(const ByteImage&, const ByteImage&) = default;

 private:
  std::array<std::uint8_t, N> bytes_{};
};

}  // namespace mokta
