#include "net/udp/DnsMessage.h"

#include <cstdio>

namespace lg::dns {
namespace {

constexpr size_t kMaxLabel = 63;
constexpr size_t kMaxEncodedName = 255;

void PutU16(std::vector<uint8_t>& out, uint16_t v) {
  out.push_back(static_cast<uint8_t>(v >> 8));
  out.push_back(static_cast<uint8_t>(v & 0xFF));
}

uint16_t GetU16(const uint8_t* p) {
  return static_cast<uint16_t>((p[0] << 8) | p[1]);
}

uint32_t GetU32(const uint8_t* p) {
  return (uint32_t{p[0]} << 24) | (uint32_t{p[1]} << 16) | (uint32_t{p[2]} << 8) | uint32_t{p[3]};
}

bool IsPointer(uint8_t b) {
  return (b & 0xC0) == 0xC0;
}

std::string DecodeNameAt(const uint8_t* data, size_t size, size_t& cursor, int depth) {
  std::string text;
  // The cursor may already stand past the end (a label that claimed more
  // bytes than arrived); every read below checks it first.
  while (cursor < size) {
    uint8_t b = data[cursor++];
    if (b == 0) break;
    if (!text.empty()) text += '.';
    if (IsPointer(b)) {
      if (cursor >= size) {
        ++cursor;
        break;
      }
      size_t target = (static_cast<size_t>(b & 0x3F) << 8) | data[cursor++];
      // A pointer chain deeper than any real reply needs is a loop or an
      // attack: the name ends here.
      if (depth < kMaxPointerDepth) text += DecodeNameAt(data, size, target, depth + 1);
      break;
    }
    size_t available = size - cursor;
    size_t take = b < available ? b : available;
    text.append(reinterpret_cast<const char*>(data + cursor), take);
    cursor += b;
  }
  return text;
}

// Reads the fields of one record's data. Names are decoded against the
// whole reply (they may point back into it); fixed-width fields and
// character strings must stay inside the record.
class TRecordReader {
 public:
  TRecordReader(const uint8_t* data, size_t size, size_t offset, size_t length)
      : data_(data), size_(size), pos_(offset), end_(offset + length > size ? size : offset + length) {}

  bool ok() const { return ok_; }
  bool AtEnd() const { return pos_ >= end_; }

  std::string Name() { return DecodeNameAt(data_, size_, pos_, 0); }

  uint16_t U16() {
    if (!Fits(2)) return 0;
    uint16_t v = GetU16(data_ + pos_);
    pos_ += 2;
    return v;
  }
  uint32_t U32() {
    if (!Fits(4)) return 0;
    uint32_t v = GetU32(data_ + pos_);
    pos_ += 4;
    return v;
  }
  uint8_t U8() {
    if (!Fits(1)) return 0;
    return data_[pos_++];
  }
  // A length byte and that many bytes, cut at the record's end.
  std::string CharString() {
    size_t n = U8();
    if (!ok_) return {};
    size_t available = end_ - pos_;
    if (n > available) n = available;
    std::string s(reinterpret_cast<const char*>(data_ + pos_), n);
    pos_ += n;
    return s;
  }

 private:
  bool Fits(size_t n) {
    if (!ok_ || pos_ > end_ || end_ - pos_ < n) ok_ = false;
    return ok_;
  }

  const uint8_t* data_;
  size_t size_;
  size_t pos_;
  size_t end_;
  bool ok_ = true;
};

std::string Decimal(int64_t v) {
  return std::to_string(v);
}

}  // namespace

bool EncodeQuery(uint16_t id, const std::string& name, uint16_t qtype, std::vector<uint8_t>& out) {
  out.clear();
  std::vector<uint8_t> qname;
  if (!name.empty() && name != ".") {
    size_t start = 0;
    while (start <= name.size()) {
      size_t dot = name.find('.', start);
      size_t end = dot == std::string::npos ? name.size() : dot;
      size_t len = end - start;
      bool last = dot == std::string::npos;
      if (len == 0) {
        // Only the empty part behind a trailing dot is allowed.
        if (last && start > 0) break;
        return false;
      }
      if (len > kMaxLabel) return false;
      qname.push_back(static_cast<uint8_t>(len));
      qname.insert(qname.end(), name.begin() + static_cast<std::ptrdiff_t>(start),
                   name.begin() + static_cast<std::ptrdiff_t>(end));
      if (last) break;
      start = dot + 1;
    }
  }
  qname.push_back(0);
  if (qname.size() > kMaxEncodedName) return false;

  PutU16(out, id);
  PutU16(out, kFlagsRecursionDesired);
  PutU16(out, 1);  // QDCOUNT
  PutU16(out, 0);
  PutU16(out, 0);
  PutU16(out, 0);
  out.insert(out.end(), qname.begin(), qname.end());
  PutU16(out, qtype);
  PutU16(out, kClassIn);
  return true;
}

std::string DecodeName(const uint8_t* data, size_t size, size_t& cursor) {
  return DecodeNameAt(data, size, cursor, 0);
}

std::string RenderRecord(const uint8_t* data, size_t size, size_t offset, size_t length, uint16_t type) {
  TRecordReader r(data, size, offset, length);
  std::string text;
  switch (type) {
    case 1: {
      uint32_t a = r.U32();
      if (!r.ok()) return {};
      char buf[20];
      std::snprintf(buf, sizeof buf, "%d.%d.%d.%d", static_cast<int>(a >> 24), static_cast<int>((a >> 16) & 0xFF),
                    static_cast<int>((a >> 8) & 0xFF), static_cast<int>(a & 0xFF));
      return buf;
    }
    case 2:
    case 3:
    case 4:
    case 5:
    case 7:
    case 8:
    case 9:
    case 12:
    case 19:
    case 22:
    case 23: return r.Name();
    case 6: {
      text = r.Name();
      text += ',' + r.Name();
      for (int i = 0; i < 5; ++i) text += ',' + Decimal(static_cast<int32_t>(r.U32()));
      break;
    }
    case 13: {
      text = r.CharString();
      text += ',' + r.CharString();
      break;
    }
    case 14:
    case 17:
    case 20: {
      text = r.Name();
      text += ',' + r.Name();
      break;
    }
    case 15:
    case 18:
    case 21:
    case 36: {
      text = Decimal(r.U16());
      text += ',' + r.Name();
      break;
    }
    case 16:
    case 99:
      while (r.ok() && !r.AtEnd()) text += r.CharString();
      break;
    case 26: {
      text = Decimal(r.U16());
      text += ',' + r.Name();
      text += ',' + r.Name();
      break;
    }
    case 27: {
      text = r.Name();
      text += ',' + r.Name();
      text += ',' + r.Name();
      break;
    }
    case 33: {
      // Priority, weight and port each followed by a comma, then the comma
      // that joins the target: two commas stand before the name.
      uint16_t priority = r.U16();
      uint16_t weight = r.U16();
      uint16_t port = r.U16();
      text = Decimal(priority) + ',' + Decimal(weight) + ',' + Decimal(port) + ',';
      text += ',' + r.Name();
      break;
    }
    default: return {};
  }
  return r.ok() ? text : std::string();
}

int DecodeReply(const uint8_t* data, size_t size, uint16_t queryId, uint16_t qtype, std::vector<std::string>& results) {
  if (size < kHeaderSize) return kLookupBadReply;
  results.clear();
  if (GetU16(data) != queryId) return kLookupBadReply;
  uint16_t flags = GetU16(data + 2);
  uint16_t qdcount = GetU16(data + 4);
  uint16_t ancount = GetU16(data + 6);
  if ((flags & 0x000F) != 0) return kLookupOk;

  // Skip the questions label by label: a label byte that looks like a
  // pointer or a terminator inside a name must not end it early.
  size_t offset = kHeaderSize;
  for (unsigned q = 0; q < qdcount && offset < size; ++q) {
    while (offset < size) {
      uint8_t b = data[offset];
      if (b == 0) {
        offset += 5;  // terminator, QTYPE, QCLASS
        break;
      }
      if (IsPointer(b)) {
        offset += 6;  // pointer, QTYPE, QCLASS
        break;
      }
      offset += 1 + static_cast<size_t>(b);
    }
  }

  if (ancount == 0 || offset >= size) return kLookupOk;
  for (unsigned i = 0; i < ancount; ++i) {
    DecodeName(data, size, offset);  // the owner plays no part
    if (offset > size || size - offset < 10) break;
    uint16_t type = GetU16(data + offset);
    uint16_t rdlength = GetU16(data + offset + 8);
    size_t start = offset + 10;
    offset = start + rdlength;
    // Data running past the reply gives nothing; the next record cannot be
    // read either and ends the loop above.
    if (offset > size || type != qtype) continue;
    std::string text = RenderRecord(data, size, start, rdlength, type);
    if (!text.empty()) results.push_back(std::move(text));
  }
  return kLookupOk;
}

}  // namespace lg::dns
