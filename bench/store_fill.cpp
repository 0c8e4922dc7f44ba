#include "store_fill.h"

#include "data/profile_data.h"
#include "data/store_files.h"

namespace mokta::bench {

bool WriteProfileStore(const QString& data_folder, int count) {
  ProfileList profiles;
  for (int i = 1; i <= count; ++i) {
    profiles.push_back(NewProfile(QStringLiteral("Profile %1").arg(i)));
    profiles.back()->set_brightness(1 + i % 8);
    profiles.back()->set_dpi_x(0, 10 + i % 300);
  }
  ProfileStoreHeader header;
  header.set_selected(0);
  return StoreFiles(data_folder).WriteProfileStore(profiles, header);
}

}  // namespace mokta::bench
