#include "data/macro_data.h"

namespace mokta {

static_assert(sizeof(MacroData) == 240);

int MacroSizeUnits(const MacroData& macro) {
  int total = 0;
  for (std::size_t i = 0; i < macro.used_action_count(); ++i) {
    const unsigned delay = macro.action(i).delay_ms;
    if (delay <= 127) {
      total += 1;
    } else if (delay % 200 > 127) {
      total += 3;
    } else {
      total += 2;
    }
  }
  return total;
}

std::unique_ptr<MacroData> NewMacro(QStringView name) {
  auto macro = std::make_unique<MacroData>();
  macro->set_name(name);
  return macro;
}

}  // namespace mokta
