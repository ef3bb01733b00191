#include "update/zip/ZipUnpack.h"

#include <cstdio>

#include "common/Deployment.h"
#include "common/Gbk.h"
#include "common/Platform.h"
#include "update/zip/TZipExtractor.h"

namespace lg {
namespace {

std::string FolderOf(const std::string& path) {
  return path.substr(0, path.size() - ZipBareName(path).size());
}

void Connect(TZipExtractor& zip, IUnzipHost& host, bool withTotal) {
  zip.DoAll = true;
  zip.OverwriteMode = TZipExtractor::TOverwriteMode::Always;
  zip.RetainAttributes = true;
  zip.ErrorReporter = host.ErrorReporter();
  zip.OnStartUnZip = [&zip, &host](int index, const std::string& name, bool& skip) {
    if (host.StopRequested()) {
      skip = true;
      return;
    }
    char counts[40];
    std::snprintf(counts, sizeof counts, " %d/%d", index, static_cast<int>(zip.Entries().size()));
    host.ShowStatus(Gbk("解包 ") + ZipBareName(name) + counts);
  };
  zip.OnFilePercentDone = [&host](int percent) { host.FilePercent(percent); };
  if (withTotal) zip.OnTotalPercentDone = [&host](int percent) { host.TotalPercent(percent); };
  zip.OnLog = [&host](const std::string& line) { host.AddLog(line); };
}

}  // namespace

TUnzipFileResult UnzipFile(const std::string& archivePath, const std::string& targetDir, IUnzipHost& host) {
  TZipExtractor zip;
  Connect(zip, host, false);
  zip.ZipName = archivePath;
  zip.DestDir = targetDir;
  zip.RecreateDirs = false;
  TUnzipFileResult result;
  result.Extracted = zip.UnZip() > 0;
  const int64_t size = plat::FileSize(archivePath);
  result.ArchiveSize = size < 0 ? 0 : static_cast<uint32_t>(static_cast<uint64_t>(size) & 0xFFFFFFFFu);
  return result;
}

bool UnzipPackage(const std::string& archivePath, IUnzipHost& host, const std::function<void()>& unpacked) {
  TZipExtractor zip;
  Connect(zip, host, true);
  zip.ZipName = archivePath;
  zip.DestDir = FolderOf(archivePath);
  if (zip.DestDir.empty()) zip.DestDir = LauncherFolder();
  zip.RecreateDirs = true;
  host.ShowStatus(Gbk("正在解压缩: ") + ZipBareName(archivePath));
  if (zip.UnZip() < 1) {
    host.ShowStatus(Gbk("文件解压缩失败，失败，请稍后再试"));
    return false;
  }
  if (host.StopRequested()) return false;
  if (unpacked) unpacked();
  plat::DeleteFile(archivePath);
  return true;
}

}  // namespace lg
