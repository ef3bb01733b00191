#include "tools/launcher-block/BlockTool.h"

#include <algorithm>
#include <map>

#include "common/FileStream.h"
#include "common/Platform.h"
#include "tools/launcher-block/BlockInspector.h"
#include "tools/launcher-block/BlockPacker.h"
#include "tools/launcher-block/SignedBlock.h"

namespace lg::blocktool {
namespace {

const char kUsage[] =
    "usage:\n"
    "  launcher-block pack --exe IN.exe --urls urls.txt --skin DIR --positions positions.txt --out OUT.exe\n"
    "                      [--signed]\n"
    "  launcher-block inspect FILE [--json] [--log]\n"
    "  launcher-block strip --exe IN.exe --out OUT.exe\n"
    "\n"
    "urls.txt (UTF-8): the ten values separated by blanks or line breaks, in order\n"
    "  _HomeHub _HubID _LauName _ClientPatchUrl _LauncherPathUrl _HomePageUrl\n"
    "  _RegistryPageUrl _BBSPageUrl _PayPageUrl _NewsPageUrl\n"
    "  a value with blanks in double quotes, \"\" for a quote inside; stored as GBK.\n"
    "DIR: <name>.png (PNG, JPEG, BMP or GIF content) for each of the 33 skin images.\n"
    "positions.txt: 19 lines \"X Y W H\" (window, picSlogan, wb, picLogin, lbLstSelSrv,\n"
    "  btnSelMem, btnSelServer, LGLabel1, LGStart, LBStatus, LGPTotal, LGCurrent,\n"
    "  lbIngUpdate, LGClose, LGmin, LGBtn1..LGBtn4); '#' starts a comment.\n"
    "pack replaces a block the launcher already carries; inspect exits 0 only\n"
    "when all three sections are valid.\n"
    "A code-signed launcher (one with a certificate table) gets its block inside\n"
    "that table, behind the signature, so the signature stays valid: sign first,\n"
    "then pack. --signed refuses a file that is not signed.\n";

// "--name value" pairs and bare flags; false on anything unknown or missing.
bool ParseOptions(const std::vector<std::string>& args, size_t from, const std::vector<std::string>& valued,
                  const std::vector<std::string>& flags, std::map<std::string, std::string>& opts,
                  std::vector<std::string>& positional) {
  for (size_t i = from; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (std::find(valued.begin(), valued.end(), a) != valued.end()) {
      if (i + 1 >= args.size()) return false;
      opts[a] = args[++i];
    } else if (std::find(flags.begin(), flags.end(), a) != flags.end()) {
      opts[a].assign(1, '1');
    } else if (a.rfind("--", 0) == 0) {
      return false;
    } else {
      positional.push_back(a);
    }
  }
  for (const std::string& v : valued)
    if (!opts.count(v)) return false;
  return true;
}

bool ReadInput(const std::string& path, const char* what, std::string& bytes, std::ostream& err) {
  if (plat::ReadWholeFile(path, bytes)) return true;
  err << "launcher-block: cannot read " << what << " " << path << "\n";
  return false;
}

// A signed launcher: the block goes inside its certificate table.
int PackSigned(std::string& exe, const TPeLayout& layout, const TSections& s, const std::string& outPath,
               std::ostream& out, std::ostream& err) {
  bool replaced = false;
  std::string error;
  if (!PackIntoCertificateTable(exe, layout, s, replaced, error)) {
    err << "launcher-block: " << error << "\n";
    return 1;
  }
  if (!plat::WriteWholeFile(outPath, exe)) {
    err << "launcher-block: cannot write " << outPath << "\n";
    return 1;
  }
  out << "packed " << outPath << " inside its certificate table: signature ends at " << layout.table.signatureEnd
      << (replaced ? " (earlier block replaced)" : "") << ", url " << s.url.size() << ", images " << s.res.size()
      << ", positions " << s.pos.size() << " bytes\n";
  return 0;
}

int Pack(const std::map<std::string, std::string>& o, std::ostream& out, std::ostream& err) {
  std::string exe, urls, positions;
  if (!ReadInput(o.at("--exe"), "launcher", exe, err) || !ReadInput(o.at("--urls"), "urls", urls, err) ||
      !ReadInput(o.at("--positions"), "positions", positions, err))
    return 1;
  // Signed or not decides where the block goes; --signed insists on it.
  TPeLayout layout;
  std::string peError;
  const bool pe = ParsePeLayout(exe, layout, peError);
  if (o.count("--signed") && (!pe || !layout.signedFile)) {
    err << "launcher-block: " << o.at("--exe") << ": "
        << (pe ? "no certificate table: sign the launcher first, then pack it" : peError) << "\n";
    return 1;
  }
  std::string error, warning;
  TSections s;
  std::vector<int64_t> sizes;
  if (!BuildUrlSection(urls, s.url, error, warning) || !BuildImageSection(o.at("--skin"), s.res, sizes, error) ||
      !BuildPositionSection(positions, s.pos, error)) {
    err << "launcher-block: " << error << "\n";
    return 1;
  }
  if (!warning.empty()) err << "launcher-block: warning: " << warning << "\n";
  if (pe && layout.signedFile) return PackSigned(exe, layout, s, o.at("--out"), out, err);
  if (!pe && exe.compare(0, 2, "MZ") == 0)
    err << "launcher-block: warning: " << peError << "; the block is appended behind the file\n";

  int64_t imageSize = 0;
  std::string block;
  if (!ProgramImageSize(exe, imageSize, error) || !ComposeBlock(imageSize, s, block, error)) {
    err << "launcher-block: " << error << "\n";
    return 1;
  }
  const bool replaced = imageSize != static_cast<int64_t>(exe.size());
  exe.resize(static_cast<size_t>(imageSize));
  exe += block;
  // Written under a temporary name and renamed, so a failure never leaves a
  // half-written launcher under the real name.
  if (!plat::WriteWholeFile(o.at("--out"), exe)) {
    err << "launcher-block: cannot write " << o.at("--out") << "\n";
    return 1;
  }
  out << "packed " << o.at("--out") << ": program image " << imageSize << " bytes"
      << (replaced ? " (earlier block replaced)" : "") << ", url " << s.url.size() << ", images " << s.res.size()
      << ", positions " << s.pos.size() << " bytes\n";
  return 0;
}

int Strip(const std::map<std::string, std::string>& o, std::ostream& out, std::ostream& err) {
  std::string exe, error;
  if (!ReadInput(o.at("--exe"), "launcher", exe, err)) return 1;
  TPeLayout layout;
  if (ParsePeLayout(exe, layout, error) && layout.signedFile) {
    // Cutting the file would leave the table's lengths pointing past its
    // end: take the block out of the table instead.
    bool hadBlock = false;
    if (!StripFromCertificateTable(exe, layout, hadBlock, error)) {
      err << "launcher-block: " << error << "\n";
      return 1;
    }
    if (!plat::WriteWholeFile(o.at("--out"), exe)) {
      err << "launcher-block: cannot write " << o.at("--out") << "\n";
      return 1;
    }
    out << (hadBlock ? "stripped " : "no block found, copied ") << o.at("--out") << ": " << exe.size()
        << " bytes, signature kept\n";
    return 0;
  }
  int64_t imageSize = 0;
  if (!ProgramImageSize(exe, imageSize, error)) {
    err << "launcher-block: " << error << "\n";
    return 1;
  }
  const bool hadBlock = imageSize != static_cast<int64_t>(exe.size());
  exe.resize(static_cast<size_t>(imageSize));
  if (!plat::WriteWholeFile(o.at("--out"), exe)) {
    err << "launcher-block: cannot write " << o.at("--out") << "\n";
    return 1;
  }
  out << (hadBlock ? "stripped " : "no block found, copied ") << o.at("--out") << ": " << imageSize << " bytes\n";
  return 0;
}

}  // namespace

int RunBlockTool(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  std::map<std::string, std::string> opts;
  std::vector<std::string> positional;
  const std::string command = args.empty() ? "" : args[0];
  if (command == "pack" &&
      ParseOptions(args, 1, {"--exe", "--urls", "--skin", "--positions", "--out"}, {"--signed"}, opts, positional) &&
      positional.empty())
    return Pack(opts, out, err);
  if (command == "strip" && ParseOptions(args, 1, {"--exe", "--out"}, {}, opts, positional) && positional.empty())
    return Strip(opts, out, err);
  if (command == "inspect" && ParseOptions(args, 1, {}, {"--json", "--log"}, opts, positional) &&
      positional.size() == 1) {
    TInspection in = Inspect(positional[0]);
    if (in.fileSize < 0) {
      err << "launcher-block: cannot read " << positional[0] << "\n";
      return 1;
    }
    out << (opts.count("--json") ? FormatJson(in) : FormatText(in, opts.count("--log") != 0));
    return in.AllValid() ? 0 : 1;
  }
  err << kUsage;
  return 2;
}

}  // namespace lg::blocktool
