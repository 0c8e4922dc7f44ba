#include "data/gun_data.h"

namespace mokta {

static_assert(sizeof(GunData) == 476);

std::unique_ptr<GunData> NewGun(QStringView name) {
  auto gun = std::make_unique<GunData>();
  gun->set_name(name);
  gun->set_count(kMaxGunSteps);
  for (std::size_t i = 0; i < kMaxGunSteps; ++i) {
    gun->set_bullet(i, GunStep{.x = 0, .y = 0, .reserved = 0, .delay = 5});
  }
  return gun;
}

}  // namespace mokta
