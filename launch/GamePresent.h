// The install checks that need no system call beyond the file layer: is
// the game beside a folder, and which folder is offered by default. Any
// thread.
#pragma once

#include <functional>
#include <string>

namespace lg {

// Adds a trailing backslash unless the text is empty or has one.
std::string WithTrailingSeparator(std::string folder);

// Both "Vantrel.dll" and "d3dx9_43.dll" and either "data" or "data\ui".
bool GamePresent(const std::string& folder);

// "D:\Korvath微端\" when a folder "D:\" exists, else the same on C: (GBK).
std::string DefaultInstallFolder(const std::function<bool(const std::string&)>& directoryExists);

// The folder part (with its trailing backslash) of an uninstall text,
// which may be quoted and carry arguments: "\"C:\Game\unins.exe\" /x".
std::string UninstallFolder(const std::string& uninstallString);

// With a folder chosen in the browser: the text the edit field receives,
// a backslash added unless the path is three characters long ("C:\").
std::string BrowsedFolderText(const std::string& path);

// Case-insensitive comparison of folder texts (ASCII letters only; GBK
// trail bytes compare as they are).
bool SameFolderText(const std::string& a, const std::string& b);

}  // namespace lg
