#pragma once

// What the user is told about a file result (file_result.h): a message box that names the file,
// says what happened and what to do.

#include <QString>

#include "app/file_result.h"

class QWidget;

namespace mokta {

struct FileMessage {
  QString key;   // the language key of the message; empty when there is nothing to tell
  QString text;  // its text with the file names filled in
};

// The message for `result`; none for a result that is ok.
FileMessage FileResultMessage(const FileResult& result);

// Shows the message for `result` in the program's message box, owned by `parent`. UI thread.
void ShowFileResultMessage(QWidget* parent, const FileResult& result);

}  // namespace mokta
