#include "common/FileStream.h"

#include "common/Platform.h"

namespace lg::plat {

bool ReadWholeFile(const std::string& path, std::string& out) {
  TFileStream file;
  if (!file.Open(path, TFileStream::Mode::Read)) return false;
  int64_t size = file.Size();
  if (size < 0) return false;
  std::string data(static_cast<size_t>(size), '\0');
  int64_t got = file.Read(data.data(), data.size());
  if (got < 0) return false;
  data.resize(static_cast<size_t>(got));
  out = std::move(data);
  return true;
}

bool WriteWholeFile(const std::string& path, const std::string& data) {
  const std::string temp = path + ".~tmp";
  {
    TFileStream file;
    if (!file.Open(temp, TFileStream::Mode::Create)) return false;
    if (!file.Write(data.data(), data.size())) {
      file.Close();
      DeleteFile(temp);
      return false;
    }
  }
  if (FileExists(path)) ClearAttributes(path);
  if (!RenameFile(temp, path)) {
    DeleteFile(temp);
    return false;
  }
  return true;
}

}  // namespace lg::plat
