#pragma once

// The framework's logging category, "mokta.framework": missing controls, unreadable skins,
// language and menu files go there. Enable its debug output with
// QT_LOGGING_RULES="mokta.framework.debug=true".

#include <QLoggingCategory>

namespace mokta {

Q_DECLARE_LOGGING_CATEGORY(lcFramework)

}  // namespace mokta
