#pragma once

// The command line of `mokta-mousectl`, kept apart from `main` so that tests run the commands
// with their own streams.

#include <QString>
#include <QStringList>
#include <QTextStream>

#include "data/keyboard_layout.h"

namespace mokta {

// Exit codes of the tool.
inline constexpr int kExitOk = 0;
inline constexpr int kExitFailure = 2;  // usage errors and every file problem

// The usage text, lines ending in "\n".
QString MousectlUsage();

// Runs one command. `args` are the arguments after the program name. Results go to `out`;
// error messages (one line, naming the file and the problem) and the usage text after a usage
// error go to `err`. Returns the exit code. `show` names keys as `layout` types them; null:
// the system's active layout (MakeSystemKeyboardLayout).
int RunMousectl(const QStringList& args, QTextStream& out, QTextStream& err,
                const KeyboardLayout* layout = nullptr);

}  // namespace mokta
