#include "tools/launcher-publish/PublishTool.h"

#include <iomanip>

#include "common/Decimal.h"
#include "common/Platform.h"
#include "common/SafePath.h"
#include "tools/launcher-publish/SigningKey.h"
#include "tools/launcher-publish/TPublishVerifier.h"
#include "tools/launcher-publish/TPublisher.h"

namespace lg::publish {
namespace {

constexpr const char* kUsage =
    "usage: launcher-publish --src GAMEDIR --out WEBROOT [--launcher] [--launcher-exe NAME]\n"
    "                        [--zip GLOB]... [--skip GLOB]... [--package] [--package-name NAME]\n"
    "                        [--sign KEYFILE [--valid-days N]]\n"
    "       launcher-publish keygen KEYFILE      (writes KEYFILE and KEYFILE.pub)\n"
    "       launcher-publish verify (--base URL | --dir WEBROOT) [--manifest NAME]\n";

int Usage(std::ostream& err, const std::string& why) {
  err << "launcher-publish: " << why << "\n" << kUsage;
  return 2;
}

int Verify(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  TPublishVerifier verifier(out);
  for (size_t i = 1; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (i + 1 >= args.size()) return Usage(err, "missing value after " + a);
    if (a == "--base")
      verifier.BaseUrl = args[++i];
    else if (a == "--dir")
      verifier.Dir = args[++i];
    else if (a == "--manifest")
      verifier.Manifest = args[++i];
    else
      return Usage(err, "unknown option " + a);
  }
  if (verifier.BaseUrl.empty() == verifier.Dir.empty()) return Usage(err, "give either --base or --dir");
  while (verifier.BaseUrl.size() > 7 && verifier.BaseUrl.compare(verifier.BaseUrl.size() - 2, 2, "//") == 0)
    verifier.BaseUrl.pop_back();
  if (!IsSafeRelativePath(verifier.Manifest)) return Usage(err, "--manifest takes a file name");
  return verifier.Run() ? 0 : 1;
}

int Keygen(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  if (args.size() != 2) return Usage(err, "keygen takes one file name");
  std::string error;
  if (!WriteNewKeyPair(args[1], error)) {
    err << "launcher-publish: " << error << "\n";
    return 1;
  }
  out << "private key: " << plat::Utf8FromGbk(args[1])
      << " (keep it secret)\npublic key:  " << plat::Utf8FromGbk(args[1]) << ".pub\n";
  return 0;
}

}  // namespace

int RunPublishTool(const std::vector<std::string>& args, std::ostream& out, std::ostream& err, bool terminal) {
  if (!args.empty() && args[0] == "verify") return Verify(args, out, err);
  if (!args.empty() && args[0] == "keygen") return Keygen(args, out, err);
  TPublishOptions options;
  options.Progress = terminal;
  std::string keyFile;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (a == "--launcher") {
      options.Launcher = true;
    } else if (a == "--package") {
      options.Package = true;
    } else if (a == "--help" || a == "-h") {
      out << kUsage;
      return 0;
    } else if (a == "--src" || a == "--out" || a == "--zip" || a == "--skip" || a == "--launcher-exe" ||
               a == "--package-name" || a == "--sign" || a == "--valid-days") {
      if (i + 1 >= args.size()) return Usage(err, "missing value after " + a);
      const std::string& v = args[++i];
      if (a == "--src") options.SourceDir = v;
      if (a == "--out") options.WebRoot = v;
      if (a == "--zip") options.ZipGlobs.push_back(v);
      if (a == "--skip") options.SkipGlobs.push_back(v);
      if (a == "--launcher-exe") options.LauncherExe = v;
      if (a == "--package-name") options.PackageName = v;
      if (a == "--sign") keyFile = v;
      if (a == "--valid-days") {
        int64_t days = 0;
        if (!ParseDecimal(v, TDecimalSign::None, 36500, days) || days < 1)
          return Usage(err, "--valid-days takes a number of days from 1 to 36500");
        options.ValidDays = static_cast<int>(days);
      }
    } else {
      return Usage(err, "unknown argument " + a);
    }
  }
  if (options.SourceDir.empty() || options.WebRoot.empty()) return Usage(err, "--src and --out are required");
  // Both names sit directly in the launcher's folder.
  for (const std::string* name : {&options.LauncherExe, &options.PackageName})
    if (name->find_first_of("/\\") != std::string::npos || !IsSafeRelativePath(*name))
      return Usage(err, "not a plain file name: " + plat::Utf8FromGbk(*name));

  if (!keyFile.empty()) {
    std::string error;
    if (!LoadSigningKey(keyFile, options.Key, error)) {
      err << "launcher-publish: " << error << "\n";
      return 1;
    }
    options.Sign = true;
  }

  TPublisher publisher(options, out);
  if (!publisher.Run()) {
    err << "launcher-publish: nothing published:\n" << publisher.ErrorText() << "\n";
    return 1;
  }
  const TPublishStats& s = publisher.Stats();
  out << publisher.ManifestName() << ": " << s.Files << " files, " << s.Bytes << " bytes, " << s.Zipped << " zipped, "
      << s.Unchanged << " unchanged, " << s.Removed << " removed";
  if (s.Skipped) out << ", " << s.Skipped << " skipped";
  out << " (" << s.Hashed << " hashed, " << s.Written << " written";
  if (s.PackageWritten) out << ", package rebuilt";
  out << ")\n";
  if (s.Sequence) out << "signed: sequence " << s.Sequence << ", valid " << options.ValidDays << " days\n";
  return 0;
}

}  // namespace lg::publish
