#include "framework/framework_log.h"

namespace mokta {

Q_LOGGING_CATEGORY(lcFramework, "mokta.framework")

}  // namespace mokta
