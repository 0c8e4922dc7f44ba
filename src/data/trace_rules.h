#pragma once

// The program's debug traces (the "mokta.*" logging categories) name keys, macros and file
// paths, so they stay off unless a logging rule asks for them by name: "mokta.*.debug=true" or
// "mokta.device.debug=true" turn them on, a rule for every category ("*.debug=true", or a
// bare "*=true") does not. Warnings and the other message types follow Qt's rules as usual.
//
// Qt applies QT_LOGGING_RULES after any rules set in code, so the decision is made in a
// category filter that runs after Qt's own.

#include <QString>

namespace mokta {

// Whether `rules` (QT_LOGGING_RULES syntax: rules separated by ";" or new lines, each
// "<category>[.<type>]=true|false", "*" allowed at the start and end of the category) enable
// debug messages of the program's category `category`. Only rules whose category pattern
// starts with "mokta" count; the last one that matches wins; without one the answer is no.
bool ProgramDebugEnabled(const QString& rules, const QString& category);

// Installs the category filter for this process, with the rules of QT_LOGGING_RULES as they
// are now. Call once, before the first message is logged (in main, before the application
// object).
void InstallTraceFilter();

}  // namespace mokta
