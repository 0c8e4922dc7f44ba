#pragma once

// Filters for the numeric edit fields, applied to the text after every change. They only
// compute the filtered text: the caller compares the result with its text to learn whether
// anything was removed, and only then replaces the text and puts the caret at its end, so a
// valid text is never rewritten under the user's caret.

#include <QString>
#include <QStringView>

namespace mokta {

// `text` without every character other than the ASCII digits '0'..'9' (other scripts' digits
// are removed too). The kept characters keep their order.
QString KeepDigits(QStringView text);

// As KeepDigits, but also keeps every '-' (U+002D), wherever it stands.
QString KeepSignedDigits(QStringView text);

}  // namespace mokta
