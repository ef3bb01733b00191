// Single values of a file in the Windows profile ("INI") format, read and
// written the way the system's profile functions do, so a file written by
// either side reads the same on the other: section and key names compare
// without regard to ASCII letter case, blanks around names and values are
// dropped, one pair of surrounding quotes is removed from a value, lines end
// with CR LF (a bare LF is accepted), and writing keeps every other line.
//
// Each call opens, reads or writes and closes the file; nothing is cached.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace lg {

// The value text, or nullopt when the file, section or key is missing.
std::optional<std::string> ReadProfileString(const std::string& path, std::string_view section, std::string_view key);
// The integer value; `fallback` when missing or not a whole integer (decimal
// or "0x"/"$" hexadecimal, optional sign, within 32 bits).
int ReadProfileInt(const std::string& path, std::string_view section, std::string_view key, int fallback);
// Creates the file or section when missing, replaces the key's line when
// present. False when the file cannot be written.
bool WriteProfileString(const std::string& path, std::string_view section, std::string_view key,
                        std::string_view value);
bool WriteProfileInt(const std::string& path, std::string_view section, std::string_view key, int value);

// In-memory forms used by the file functions and by code that holds the
// file's text itself (download state files).
std::optional<std::string> ProfileValue(std::string_view text, std::string_view section, std::string_view key);
std::string WithProfileValue(std::string_view text, std::string_view section, std::string_view key,
                             std::string_view value);
// The text without the section (its header and every line up to the next
// section); unchanged when the section is missing.
std::string WithoutProfileSection(std::string_view text, std::string_view section);
bool ParseProfileInt(std::string_view value, int& out);

}  // namespace lg
