#pragma once
// What --version prints: the program's version and the versions of the libraries it
// runs with, as a support request needs them.
#include "export.h"

#include <string>

namespace buildinfo {

// Lines of UTF-8 text: "screport X.Y.Z", then Qt, SQLite, the MariaDB client and
// libxlsxwriter. Loads the two Qt SQL drivers to ask their libraries.
SCREPORT_CORE_EXPORT std::string versionText();

} // namespace buildinfo
