#include "update/zip/TZipWriter.h"

#include <zlib.h>

#include "common/Gbk.h"

namespace lg {
namespace {

void Put16(std::string& out, uint32_t v) {
  out += static_cast<char>(v & 0xFF);
  out += static_cast<char>((v >> 8) & 0xFF);
}

void Put32(std::string& out, uint32_t v) {
  Put16(out, v & 0xFFFF);
  Put16(out, v >> 16);
}

// Archives separate folders with "/" whatever the system.
std::string StoredName(std::string_view name) {
  std::string out(name);
  for (size_t i = 0; i < out.size(); ++i) {
    if (IsGbkLeadByte(static_cast<unsigned char>(out[i])) && i + 1 < out.size()) {
      ++i;
      continue;
    }
    if (out[i] == '\\') out[i] = '/';
  }
  return out;
}

uint16_t VersionNeeded(uint16_t method) {
  return method == 0 ? 10 : 20;
}

// Deflates `data` as one raw stream (no zlib header).
class TDeflater {
 public:
  TDeflater() { ok_ = deflateInit2(&z_, Z_DEFAULT_COMPRESSION, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY) == Z_OK; }
  ~TDeflater() {
    if (ok_) deflateEnd(&z_);
  }
  bool Ok() const { return ok_; }
  // Appends the compressed form of `data` to `out`; `last` ends the stream.
  bool Add(std::string_view data, bool last, std::string& out) {
    z_.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
    z_.avail_in = static_cast<uInt>(data.size());
    char buffer[32768];
    for (;;) {
      z_.next_out = reinterpret_cast<Bytef*>(buffer);
      z_.avail_out = sizeof buffer;
      const int rc = deflate(&z_, last ? Z_FINISH : Z_NO_FLUSH);
      if (rc == Z_STREAM_ERROR) return false;
      out.append(buffer, sizeof buffer - z_.avail_out);
      if (last ? rc == Z_STREAM_END : z_.avail_in == 0 && z_.avail_out != 0) return true;
    }
  }

 private:
  z_stream z_{};
  bool ok_ = false;
};

}  // namespace

TZipWriter::~TZipWriter() {
  file_.Close();
}

uint32_t TZipWriter::DosDateTime(int year, int month, int day, int hour, int minute, int second) {
  const uint32_t date = static_cast<uint32_t>(((year - 1980) << 9) | (month << 5) | day);
  const uint32_t time = static_cast<uint32_t>((hour << 11) | (minute << 5) | (second / 2));
  return (date << 16) | time;
}

uint32_t TZipWriter::Crc32(std::string_view data) {
  return static_cast<uint32_t>(
      crc32(crc32(0L, Z_NULL, 0), reinterpret_cast<const Bytef*>(data.data()), static_cast<uInt>(data.size())));
}

bool TZipWriter::Fail(const std::string& text) {
  errorText_ = text;
  return false;
}

bool TZipWriter::Open(const std::string& path) {
  central_.clear();
  errorText_.clear();
  open_ = file_.Open(path, plat::TFileStream::Mode::Create);
  return open_ || Fail("cannot create " + path);
}

bool TZipWriter::WriteLocalHeader(const TRawEntry& e, uint32_t compressedSize) {
  const std::string& name = e.Name;
  std::string h;
  Put32(h, 0x04034b50);
  Put16(h, VersionNeeded(e.Method));
  Put16(h, e.Flags);
  Put16(h, e.Method);
  Put16(h, e.DosDateTime & 0xFFFF);
  Put16(h, e.DosDateTime >> 16);
  Put32(h, e.Crc32);
  Put32(h, compressedSize);
  Put32(h, e.UncompressedSize);
  Put16(h, static_cast<uint32_t>(name.size()));
  Put16(h, 0);
  h += name;
  return file_.Write(h.data(), h.size()) || Fail("write error");
}

bool TZipWriter::Finish(TRawEntry header, uint32_t compressedSize, uint32_t offset) {
  header.Data.clear();
  central_.push_back({std::move(header), compressedSize, offset});
  return true;
}

bool TZipWriter::AddRaw(const TRawEntry& e) {
  if (!open_) return Fail("archive not open");
  const int64_t offset = file_.Position();
  if (offset < 0 || static_cast<uint64_t>(offset) + e.Data.size() > 0xFFFFFFF0ull) return Fail("archive too large");
  if (!WriteLocalHeader(e, static_cast<uint32_t>(e.Data.size()))) return false;
  if (!file_.Write(e.Data.data(), e.Data.size())) return Fail("write error");
  return Finish(e, static_cast<uint32_t>(e.Data.size()), static_cast<uint32_t>(offset));
}

bool TZipWriter::AddFile(const std::string& name, std::string_view data, TMethod method, uint32_t dosDateTime,
                         uint32_t attributes) {
  if (data.size() > 0xFFFFFFF0ull) return Fail("file too large");
  TRawEntry e;
  e.Name = StoredName(name);
  e.Method = static_cast<uint16_t>(method);
  e.Crc32 = Crc32(data);
  e.UncompressedSize = static_cast<uint32_t>(data.size());
  e.DosDateTime = dosDateTime;
  e.ExternalAttributes = attributes;
  if (method == TMethod::Deflated) {
    TDeflater deflater;
    if (!deflater.Ok() || !deflater.Add(data, true, e.Data)) return Fail("deflate failed");
  } else {
    e.Data.assign(data);
  }
  return AddRaw(e);
}

bool TZipWriter::AddFolder(const std::string& name, uint32_t dosDateTime) {
  TRawEntry e;
  e.Name = StoredName(name);
  if (e.Name.empty() || e.Name.back() != '/') e.Name += '/';
  e.DosDateTime = dosDateTime;
  e.ExternalAttributes = 0x10;
  return AddRaw(e);
}

bool TZipWriter::AddFileFrom(const std::string& name, const std::string& sourcePath, TMethod method,
                             uint32_t dosDateTime, uint32_t attributes) {
  if (!open_) return Fail("archive not open");
  plat::TFileStream in;
  if (!in.Open(sourcePath, plat::TFileStream::Mode::Read)) return Fail("cannot read " + sourcePath);
  TRawEntry e;
  e.Name = StoredName(name);
  e.Method = static_cast<uint16_t>(method);
  e.DosDateTime = dosDateTime;
  e.ExternalAttributes = attributes;
  const int64_t offset = file_.Position();
  if (offset < 0 || offset > 0xFFFFFFF0ll) return Fail("archive too large");
  if (!WriteLocalHeader(e, 0)) return false;
  TDeflater deflater;
  if (method == TMethod::Deflated && !deflater.Ok()) return Fail("deflate failed");
  uLong crc = crc32(0L, Z_NULL, 0);
  uint64_t size = 0, packed = 0;
  // One read buffer for the whole archive: a package of many small files
  // should not pay for a fresh megabyte per file.
  if (readBuffer_.empty()) readBuffer_.resize(1 << 20);
  std::string out;
  for (;;) {
    const int64_t n = in.Read(readBuffer_.data(), readBuffer_.size());
    if (n < 0) return Fail("read error in " + sourcePath);
    const std::string_view chunk(readBuffer_.data(), static_cast<size_t>(n));
    crc = crc32(crc, reinterpret_cast<const Bytef*>(chunk.data()), static_cast<uInt>(chunk.size()));
    size += chunk.size();
    out.clear();
    if (method == TMethod::Deflated) {
      if (!deflater.Add(chunk, n == 0, out)) return Fail("deflate failed");
    } else {
      out.assign(chunk);
    }
    packed += out.size();
    if (!out.empty() && !file_.Write(out.data(), out.size())) return Fail("write error");
    if (n == 0) break;
  }
  if (size > 0xFFFFFFF0ull || packed > 0xFFFFFFF0ull || static_cast<uint64_t>(offset) + packed > 0xFFFFFFF0ull)
    return Fail("file too large");
  e.Crc32 = static_cast<uint32_t>(crc);
  e.UncompressedSize = static_cast<uint32_t>(size);
  std::string patch;
  Put32(patch, e.Crc32);
  Put32(patch, static_cast<uint32_t>(packed));
  Put32(patch, e.UncompressedSize);
  if (!file_.WriteAt(offset + 14, patch.data(), patch.size())) return Fail("write error");
  return Finish(e, static_cast<uint32_t>(packed), static_cast<uint32_t>(offset));
}

bool TZipWriter::Close(std::string_view comment) {
  if (!open_) return Fail("archive not open");
  open_ = false;
  if (central_.size() > 0xFFFF || comment.size() > 0xFFFF) {
    file_.Close();
    return Fail("too many entries or comment too long");
  }
  const int64_t start = file_.Position();
  std::string d;
  for (const TCentral& c : central_) {
    const TRawEntry& e = c.Entry;
    const std::string& name = e.Name;
    Put32(d, 0x02014b50);
    Put16(d, e.VersionMadeBy);
    Put16(d, VersionNeeded(e.Method));
    Put16(d, e.Flags);
    Put16(d, e.Method);
    Put16(d, e.DosDateTime & 0xFFFF);
    Put16(d, e.DosDateTime >> 16);
    Put32(d, e.Crc32);
    Put32(d, c.CompressedSize);
    Put32(d, e.UncompressedSize);
    Put16(d, static_cast<uint32_t>(name.size()));
    Put16(d, 0);  // extra
    Put16(d, 0);  // comment
    Put16(d, 0);  // disk
    Put16(d, 0);  // internal attributes
    Put32(d, e.ExternalAttributes);
    Put32(d, c.Offset);
    d += name;
  }
  Put32(d, 0x06054b50);
  Put16(d, 0);
  Put16(d, 0);
  Put16(d, static_cast<uint32_t>(central_.size()));
  Put16(d, static_cast<uint32_t>(central_.size()));
  Put32(d, static_cast<uint32_t>(d.size() - 0));  // patched below
  Put32(d, static_cast<uint32_t>(start));
  Put16(d, static_cast<uint32_t>(comment.size()));
  d.append(comment);
  // The directory's size excludes the end record.
  const uint32_t directorySize = static_cast<uint32_t>(d.size() - 22 - comment.size());
  std::string sizeBytes;
  Put32(sizeBytes, directorySize);
  d.replace(directorySize + 12, 4, sizeBytes);
  const bool ok = start >= 0 && static_cast<uint64_t>(start) + d.size() <= 0xFFFFFFFFull &&
                  file_.Write(d.data(), d.size()) && file_.Flush();
  file_.Close();
  return ok || Fail("write error");
}

}  // namespace lg
