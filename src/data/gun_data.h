#pragma once

// The recoil pattern record ("gun"): a name and up to 30 steps of pointer offset, each with a
// delay. The same 476 bytes are a record of "gun.data" and a whole ".gun" file.

#include <QString>
#include <QStringView>
#include <algorithm>
#include <cstdint>
#include <memory>
#include <vector>

#include "data/byte_image.h"

namespace mokta {

// One step, 12 bytes on file: x (i32), y (i32), reserved (u16), delay (u16).
struct GunStep {
  static constexpr std::size_t kSize = 12;

  std::int32_t x = 0;
  std::int32_t y = 0;
  std::uint16_t reserved = 0;  // carried through unchanged
  std::uint16_t delay = 0;

  static GunStep Decode(const std::uint8_t* p) {
    return {static_cast<std::int32_t>(LoadU32(p)), static_cast<std::int32_t>(LoadU32(p + 4)),
            LoadU16(p + 8), LoadU16(p + 10)};
  }
  void Encode(std::uint8_t* p) const {
    StoreU32(p, static_cast<std::uint32_t>(x));
    StoreU32(p + 4, static_cast<std::uint32_t>(y));
    StoreU16(p + 8, reserved);
    StoreU16(p + 10, delay);
  }
  friend bool operator==(const GunStep&, const GunStep&) = default;
};

inline constexpr std::size_t kMaxGunSteps = 30;
inline constexpr std::size_t kGunStepsSize = kMaxGunSteps * GunStep::kSize;

// `GunData`, 476 bytes:
//   0    name     UTF-16LE, 50 units (49 characters and the terminator)
//   100  count    byte, steps in use, 1..30 when well-formed
//   101  reserved 15 bytes
//   116  bullets  30 x GunStep
class GunData : public ByteImage<476> {
 public:
  static constexpr std::size_t kNameOffset = 0;
  static constexpr std::size_t kNameUnits = 50;
  static constexpr std::size_t kCountOffset = 100;
  static constexpr std::size_t kBulletsOffset = 116;
  static_assert(kBulletsOffset + kGunStepsSize == kSize);

  QString name() const { return Text<kNameOffset, kNameUnits>(); }
  void set_name(QStringView name) { SetText<kNameOffset, kNameUnits>(name); }
  bool name_terminated() const { return TextIsTerminated<kNameOffset, kNameUnits>(); }

  // The count as stored; a damaged file may hold any byte.
  std::uint8_t count() const { return U8<kCountOffset>(); }
  void set_count(std::uint8_t v) { SetU8<kCountOffset>(v); }
  // The count every reader uses: the stored count brought into 1..30.
  std::size_t used_count() const { return std::clamp<std::size_t>(count(), 1, kMaxGunSteps); }

  // Step `i` of 0..29; any other index gives an empty step and writes are dropped.
  GunStep bullet(std::size_t i) const {
    return i < kMaxGunSteps ? GunStep::Decode(bytes().data() + kBulletsOffset + 12 * i) : GunStep{};
  }
  void set_bullet(std::size_t i, const GunStep& step) {
    if (i < kMaxGunSteps) step.Encode(bytes().data() + kBulletsOffset + 12 * i);
  }

  std::span<const std::uint8_t, kGunStepsSize> bullets_bytes() const {
    return Range<kBulletsOffset, kGunStepsSize>();
  }
};

using GunList = std::vector<std::unique_ptr<GunData>>;

// A new pattern: 476 zero bytes with `name` (cut to 49 units), 30 steps of x 0, y 0, delay 5.
std::unique_ptr<GunData> NewGun(QStringView name);

}  // namespace mokta
