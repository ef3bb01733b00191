// What the launcher's command line asks for at process entry: the web page
// viewer's address, the launcher's own name and extension, and the file
// named by the first argument that a freshly installed copy deletes. Pure
// functions of the command-line items (item 0 is the program itself, as the
// platform's parsing gives it); main thread, before any window exists.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace lg {

// The file-name part of a path ("\" or "/" separated), with its extension.
std::string FileNamePart(std::string_view path);
// The extension of a file name including its dot (".exe"); empty when the
// name has none.
std::string ExtensionOf(std::string_view name);

struct TStartArguments {
  std::string ExeName;     // file-name part of item 0, with extension
  std::string ExeExt;      // its extension, ".exe"
  std::string Param1Name;  // file-name part of item 1, empty without one
  std::string Param1Path;  // item 1 as given, empty without one
};

TStartArguments ReadStartArguments(const std::vector<std::string>& items);

// Web page mode: at the first item that contains "/web" (item 0 included),
// `address` := its text from five characters after where "/web" begins
// (the marker and the ":" behind it) to its end, empty when the item ends
// sooner. False when no item contains "/web".
bool FindWebAddress(const std::vector<std::string>& items, std::string& address);

// The replacement step runs when the launcher's own extension is ".update",
// in any letter case.
bool IsReplacementName(std::string_view exeExt);

// The file a freshly installed copy deletes at start: the first argument as
// given, made absolute by `fullPath` (against the current folder). The
// installing copy passes its own full path, and the installed copy's
// current folder is whatever the installing copy's was, so a bare name
// there could name another file. Empty when there is no argument, when
// its file-name part is not this launcher's own name (a file dropped onto
// the launcher is the user's, not a leftover) or when it names this
// launcher's own file `ownPath` (both ignoring ASCII letter case).
std::string LeftoverPath(const TStartArguments& args, const std::string& ownPath,
                         const std::function<std::string(const std::string&)>& fullPath);

// Start-up step that deletes the file a freshly installed copy was started
// with. The file system calls are injected so tests can script failures.
struct TLeftoverFiles {
  std::function<bool(const std::string&)> Exists;
  std::function<bool(const std::string&)> Delete;
  std::function<void(uint32_t)> Sleep;
};

// While `path` exists: delete it and wait 100 ms, at most `kMaxTries` times
// (about five seconds), so a file held open by another program cannot keep
// the launcher from starting. True when the file is gone at the end.
inline constexpr int kLeftoverMaxTries = 50;
inline constexpr uint32_t kLeftoverPauseMs = 100;
bool DeleteLeftover(const std::string& path, const TLeftoverFiles& files);

}  // namespace lg
