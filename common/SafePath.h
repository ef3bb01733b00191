// The one check that a name received from the network (a manifest's "File",
// a zip entry's name) stays inside the launcher's folder. The launcher runs
// with administrator rights: nothing from outside may write elsewhere.
#pragma once

#include <string>
#include <string_view>

namespace lg {

// True when `name` is a relative path that names something inside the
// folder it is joined to. Segments are split on "/" and "\" (GBK aware: a
// trail byte 0x5C is not a separator). Refused: empty names or segments,
// "." and ".." segments, rooted paths, drive letters, UNC and "\\?\"
// prefixes, ':' anywhere (alternate data streams), reserved device names
// (CON, PRN, AUX, NUL, COM1-9, LPT1-9 with or without an extension,
// CONIN$, CONOUT$), segments ending in a dot or blank, control characters
// and the characters Windows forbids in names (< > " | ? *).
bool IsSafeRelativePath(std::string_view name, std::string* reason = nullptr);

// `name` with every separator written as "\" (GBK aware).
std::string WithBackslashes(std::string_view name);

}  // namespace lg
