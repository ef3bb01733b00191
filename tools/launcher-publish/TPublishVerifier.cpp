#include "tools/launcher-publish/TPublishVerifier.h"

#include <filesystem>
#include <memory>
#include <system_error>

#include "Library/hDownload/THttpGetDocument.h"
#include "common/FileStream.h"
#include "common/Md5.h"
#include "common/OperatorServices.h"
#include "common/Platform.h"
#include "common/SafePath.h"
#include "update/json/TzqJSONstreamed.h"
#include "update/zip/ZipUnpack.h"

namespace lg::publish {
namespace fs = std::filesystem;
namespace {

std::string Slashes(std::string name) {
  for (size_t i = 0; i < name.size(); ++i) {
    unsigned char c = static_cast<unsigned char>(name[i]);
    if (c >= 0x81 && c <= 0xFE && i + 1 < name.size())
      ++i;
    else if (c == '\\')
      name[i] = '/';
  }
  return name;
}

std::string BareName(const std::string& name) {
  size_t slash = name.rfind('/');
  return slash == std::string::npos ? name : name.substr(slash + 1);
}

// A fresh folder for downloads and unpacked files, removed by the owner.
std::string MakeScratch() {
  std::error_code ec;
  fs::path base = fs::temp_directory_path(ec);
  if (ec) base = ".";
  for (uint32_t n = plat::TickCount(), tries = 0; tries < 100; ++n, ++tries) {
    fs::path dir = base / ("launcher-publish-verify-" + std::to_string(n));
    if (fs::create_directory(dir, ec)) {
      std::u8string u = dir.u8string();
      return plat::GbkFromUtf8(std::string(u.begin(), u.end())) + "/";
    }
  }
  return {};
}

void RemoveScratch(const std::string& dir) {
  if (dir.empty()) return;
  const std::string utf8 = plat::Utf8FromGbk(dir);
  std::error_code ec;
  fs::remove_all(fs::path(std::u8string(utf8.begin(), utf8.end())), ec);
}

}  // namespace

void TPublishVerifier::Problem(const std::string& text) {
  problems_.push_back(text);
  out_ << text << "\n";
}

bool TPublishVerifier::Obtain(const std::string& name, std::string& local, std::string& why, bool package) {
  if (!Dir.empty()) {
    local = Dir + "/" + name;
    if (!plat::FileExists(local)) {
      why = "missing";
      return false;
    }
    return true;
  }
  THttpGetDocument fetch;
  // The launcher joins base and manifest or file with one "/", but puts
  // "complete/" straight behind the base.
  const std::string url = package && !BaseUrl.empty() && BaseUrl.back() == '/' ? BaseUrl + name : BaseUrl + "/" + name;
  if (!fetch.Get(url, "")) {
    if (fetch.Response().StatusCode != 0) {
      why = "not served: status " + std::to_string(fetch.Response().StatusCode);
    } else {
      why = "not served: " + fetch.FailureText();
      size_t eol = why.find_first_of("\r\n");
      if (eol != std::string::npos) why.resize(eol);
    }
    return false;
  }
  local = scratch_ + "download-" + std::to_string(downloads_++);
  if (!plat::WriteWholeFile(local, fetch.Document())) {
    why = "cannot store the download in " + plat::Utf8FromGbk(scratch_);
    return false;
  }
  return true;
}

void TPublishVerifier::CheckEntry(int index, const std::string& file, const std::string& hash, int64_t size, bool zip) {
  const std::string label = file.empty() ? "entry " + std::to_string(index) : plat::Utf8FromGbk(file);
  ++checked_;
  std::string reason;
  if (!IsSafeRelativePath(file, &reason)) return Problem(label + ": the launcher refuses this name (" + reason + ")");
  if (hash.size() != 32 || hash.find_first_not_of("0123456789abcdef") != std::string::npos)
    return Problem(label + ": \"Hash\" is not 32 lowercase hexadecimal digits: " + hash);
  const std::string served = Slashes(file) + (zip ? ".zip" : "");
  std::string local, why;
  if (!Obtain(served, local, why)) return Problem(label + ": " + plat::Utf8FromGbk(served) + " " + why);
  const int64_t actual = plat::FileSize(local);
  if (actual != size)
    return Problem(label + ": served with " + std::to_string(actual) + " bytes, the manifest says " +
                   std::to_string(size));
  std::string content = local;
  if (zip) {
    const std::string unpackDir = scratch_ + "unpack-" + std::to_string(index) + "/";
    plat::ForceDirectories(unpackDir);
    TQuietUnzipHost host;
    if (!UnzipFile(local, unpackDir, host).Extracted) return Problem(label + ": the archive does not unpack");
    content = unpackDir + BareName(Slashes(file));
    if (!plat::FileExists(content))
      return Problem(label + ": the archive does not hold " + plat::Utf8FromGbk(BareName(Slashes(file))));
  }
  const std::string digest = Md5OfFile(content);
  if (digest != hash) return Problem(label + ": content digest " + digest + ", the manifest says " + hash);
}

void TPublishVerifier::CheckPackage() {
  // The package is optional: no release.json, nothing to check.
  std::string local, why;
  if (!Obtain(ops::PackagePath(ops::kPackageManifestName), local, why, true)) return;
  if (!BaseUrl.empty() && BaseUrl.back() != '/')
    out_ << "note: the launcher asks for the package at the patch address + \"complete/\" with no \"/\" between; "
            "configure the address with a trailing \"/\"\n";
  std::string text;
  plat::ReadWholeFile(local, text);
  try {
    std::unique_ptr<TzqJSONbase> doc = TzqJSONstreamed::ParseText(text);
    if (!doc || doc->Kind() != jsObject)
      return Problem(ops::PackagePath(ops::kPackageManifestName) + ": not a JSON object");
    auto* release = static_cast<TzqJSONobject*>(doc.get());
    const std::string file = release->FieldText("File");
    const std::string md5 = release->FieldText("MD5");
    const int64_t size = release->FieldInt("Size");
    ++checked_;
    // The launcher keeps the archive under this name beside itself and
    // unpacks it there: a folder in the name would misplace the tree.
    if (file.empty() || file.find_first_of("/\\") != std::string::npos || !IsSafeRelativePath(file))
      return Problem(ops::PackagePath(ops::kPackageManifestName) +
                     ": \"File\" must be a plain file name: " + plat::Utf8FromGbk(file));
    if (!Obtain(ops::PackagePath(file), local, why, true))
      return Problem(ops::PackagePath(plat::Utf8FromGbk(file)) + ": " + why);
    if (plat::FileSize(local) != size)
      return Problem(ops::PackagePath(plat::Utf8FromGbk(file)) + ": served with " +
                     std::to_string(plat::FileSize(local)) + " bytes, release.json says " + std::to_string(size));
    const std::string digest = Md5OfFile(local);
    std::string want = md5;
    for (char& c : want) c = static_cast<char>((c >= 'A' && c <= 'F') ? c - 'A' + 'a' : c);
    if (digest != want)
      return Problem(ops::PackagePath(plat::Utf8FromGbk(file)) + ": digest " + digest + ", release.json says " + md5);
  } catch (const std::exception& e) {
    Problem(ops::PackagePath(ops::kPackageManifestName) + ": " + e.what());
  }
}

bool TPublishVerifier::Run() {
  problems_.clear();
  checked_ = 0;
  scratch_ = MakeScratch();
  if (scratch_.empty()) {
    Problem("cannot create a scratch folder");
    return false;
  }
  std::string local, why, text;
  if (!Obtain(Manifest, local, why)) {
    Problem(plat::Utf8FromGbk(Manifest) + ": " + why);
  } else if (!plat::ReadWholeFile(local, text)) {
    Problem(plat::Utf8FromGbk(Manifest) + ": unreadable");
  } else {
    std::unique_ptr<TzqJSONbase> doc = TzqJSONstreamed::ParseText(text);
    auto* list = doc && doc->Kind() == jsList ? static_cast<TzqJSONlist*>(doc.get()) : nullptr;
    auto* first = list && list->Count() > 0 ? list->Child(0) : nullptr;
    if (!first || first->Kind() != jsObject || static_cast<TzqJSONobject*>(first)->Field("File") == nullptr ||
        static_cast<TzqJSONobject*>(first)->Field("File")->Kind() != jsString ||
        static_cast<TzqJSONobject*>(first)->FieldText("File").empty()) {
      Problem(plat::Utf8FromGbk(Manifest) +
              ": the launcher does not accept it (a list whose first element is an object with a \"File\")");
    } else {
      for (int i = 0; i < list->Count(); ++i) {
        TzqJSONbase* node = list->Child(i);
        try {
          if (!node || node->Kind() != jsObject) throw std::runtime_error("not an object");
          auto* entry = static_cast<TzqJSONobject*>(node);
          if (!entry->FieldBool("Need")) continue;
          entry->FieldInt("isLauncher");  // a wrong kind ends the launcher's run
          CheckEntry(i, entry->FieldText("File"), entry->FieldText("Hash"), entry->FieldInt("Size"),
                     entry->FieldBool("IsZip"));
        } catch (const std::exception& e) {
          Problem("entry " + std::to_string(i) + ": " + e.what());
        }
      }
    }
  }
  CheckPackage();
  RemoveScratch(scratch_);
  out_ << checked_ << " checked, " << problems_.size() << " problem(s)\n";
  return problems_.empty();
}

}  // namespace lg::publish
