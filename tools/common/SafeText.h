#pragma once
// Text from a printer or a package, made safe for where it goes: a terminal
// must not take its bytes for commands, and JSON must stay valid UTF-8.

#include <string>

namespace carillon::tools {

// Control characters (C0, DEL, C1) shown escaped as \xNN, and bytes that are
// not UTF-8 shown the same way. With keepNewlines, '\n' passes, for texts
// that are several lines by design.
std::string TerminalSafe(const std::string& text, bool keepNewlines = false);

// The text as valid UTF-8: sequences that are UTF-8 pass, every other byte is
// taken as Latin-1 and encoded as its code point ("Caf\xe9" becomes "Café").
std::string ValidUtf8(const std::string& text);

}  // namespace carillon::tools
