#pragma once
#include <QString>

namespace platform {

// The user's temporary directory: $TMPDIR when set and non-empty, else /tmp, as its canonical
// path ending with "/". Empty when the directory does not exist.
QString TmpFilePath();

} // namespace platform
