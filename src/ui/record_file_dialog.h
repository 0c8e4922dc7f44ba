#pragma once

// The file dialogs of the single-record files the user exchanges: ".pro" (a profile), ".macro"
// and ".gun". One filter each, selected; a save dialog asks before replacing a file and adds
// the kind's extension to a name typed without one.

#include <QString>

class QWidget;

namespace mokta {

enum class RecordFileKind { kProfile, kMacro, kGun };

// Asks for a file of `kind` to open (`save` false) or to save to; empty when cancelled. The
// dialog starts in `folder`, or in its own default when that is empty. The modal test hook may
// answer it.
QString ChooseRecordFile(QWidget* parent, RecordFileKind kind, bool save,
                         const QString& folder = {});

}  // namespace mokta
