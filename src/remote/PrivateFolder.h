#pragma once

#include <QString>

namespace Remote {
// A folder for the private socket that only this user may enter: the socket itself is open to
// all. Made fresh under a name no one can foresee, in $XDG_RUNTIME_DIR (else the temporary
// folder) when no one else can rename it there (ours or root's, and sticky if others may write
// to it); empty when there is no such place.
QString privateFolder();
} // namespace Remote
