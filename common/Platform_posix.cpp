// POSIX side of the platform layer (Linux).
#include "common/Platform.h"

#include <fcntl.h>
#include <iconv.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <mutex>
#include <thread>

namespace lg::plat {
namespace {

// iconv with the Windows code page's name, so that 0x80 (the euro sign)
// and the other code page 936 specials convert as they do on Windows.
// Undecodable input bytes become U+FFFD (one per byte, like the Windows
// converter), unencodable characters become "?".
// `inStep` is the size of one input unit to step over on a conversion
// error; 0 means UTF-8, whose unit size follows from its lead byte.
size_t Utf8SequenceLength(unsigned char lead) {
  if (lead >= 0xF0) return 4;
  if (lead >= 0xE0) return 3;
  if (lead >= 0xC0) return 2;
  return 1;
}

// glibc loads a converter's module on the first iconv_open and unloads it
// when the last descriptor closes. Conversions on several threads then load
// and unload modules concurrently; the loader serialises that with a lock
// ThreadSanitizer cannot see, so it reports a race. One descriptor per
// conversion held for the process's lifetime keeps the modules loaded.
// Kept in a global so leak checkers see them as still in use.
iconv_t gKeptConverters[4];

void KeepConvertersLoaded() {
  static const bool loaded = [] {
    static const char* const kPairs[][2] = {
        {"UTF-16LE", "CP936"}, {"CP936", "UTF-16LE"}, {"UTF-8", "CP936"}, {"CP936", "UTF-8"}};
    int i = 0;
    for (const auto& pair : kPairs) gKeptConverters[i++] = iconv_open(pair[0], pair[1]);  // never closed
    return true;
  }();
  (void)loaded;
}

std::string Convert(const char* to, const char* from, std::string_view in, std::string_view replacement, size_t inStep,
                    bool* lossy) {
  KeepConvertersLoaded();
  iconv_t cd = iconv_open(to, from);
  if (cd == reinterpret_cast<iconv_t>(-1)) return {};
  std::string out;
  out.resize(in.size() * 4 + 16);
  char* src = const_cast<char*>(in.data());
  size_t srcLeft = in.size();
  char* dst = out.data();
  size_t dstLeft = out.size();
  while (srcLeft > 0) {
    size_t r = iconv(cd, &src, &srcLeft, &dst, &dstLeft);
    if (r != static_cast<size_t>(-1)) break;
    if (errno == E2BIG) {
      size_t used = static_cast<size_t>(dst - out.data());
      out.resize(out.size() * 2);
      dst = out.data() + used;
      dstLeft = out.size() - used;
      continue;
    }
    // EILSEQ or EINVAL (truncated sequence at the end): replace and step on.
    if (lossy) *lossy = true;
    if (dstLeft < replacement.size()) {
      size_t used = static_cast<size_t>(dst - out.data());
      out.resize(out.size() * 2 + replacement.size());
      dst = out.data() + used;
      dstLeft = out.size() - used;
    }
    std::copy(replacement.begin(), replacement.end(), dst);
    dst += replacement.size();
    dstLeft -= replacement.size();
    size_t unit = inStep ? inStep : Utf8SequenceLength(static_cast<unsigned char>(*src));
    size_t step = std::min(unit, srcLeft);
    src += step;
    srcLeft -= step;
  }
  out.resize(static_cast<size_t>(dst - out.data()));
  iconv_close(cd);
  return out;
}

std::string_view AsBytes(std::u16string_view s) {
  return {reinterpret_cast<const char*>(s.data()), s.size() * 2};
}

std::u16string FromBytes(const std::string& s) {
  std::u16string out(s.size() / 2, u'\0');
  std::copy(s.data(), s.data() + out.size() * 2, reinterpret_cast<char*>(out.data()));
  return out;
}

const char16_t kReplacementChar16[] = u"\uFFFD";
const std::string_view kReplacement16{reinterpret_cast<const char*>(kReplacementChar16), 2};

std::string Sys(std::string_view path) {
  return NativePath(path);
}

}  // namespace

std::u16string Utf16FromGbk(std::string_view gbk) {
  return FromBytes(Convert("UTF-16LE", "CP936", gbk, kReplacement16, 1, nullptr));
}

std::string GbkFromUtf16(std::u16string_view text) {
  return Convert("CP936", "UTF-16LE", AsBytes(text), "?", 2, nullptr);
}

std::string Utf8FromGbk(std::string_view gbk) {
  return Convert("UTF-8", "CP936", gbk, "\xEF\xBF\xBD", 1, nullptr);
}

std::string GbkFromUtf8(std::string_view utf8) {
  return Convert("CP936", "UTF-8", utf8, "?", 0, nullptr);
}

bool TryGbkFromUtf8(std::string_view utf8, std::string& out) {
  bool lossy = false;
  std::string r = Convert("CP936", "UTF-8", utf8, "?", 0, &lossy);
  if (lossy) return false;
  out = std::move(r);
  return true;
}

uint32_t TickCount() {
  timespec ts{};
  clock_gettime(CLOCK_MONOTONIC, &ts);
  uint64_t ms = static_cast<uint64_t>(ts.tv_sec) * 1000u + static_cast<uint64_t>(ts.tv_nsec) / 1000000u;
  return static_cast<uint32_t>(ms);
}

void SleepMs(uint32_t ms) {
  std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

void PreferLargePages(void* data, size_t size) {
#ifdef MADV_HUGEPAGE
  // Only the whole large pages inside the buffer; the advice must start on
  // a page boundary.
  constexpr uintptr_t kLarge = uintptr_t{2} << 20;
  const uintptr_t start = (reinterpret_cast<uintptr_t>(data) + kLarge - 1) & ~(kLarge - 1);
  const uintptr_t end = (reinterpret_cast<uintptr_t>(data) + size) & ~(kLarge - 1);
  if (data && end > start) ::madvise(reinterpret_cast<void*>(start), end - start, MADV_HUGEPAGE);
#else
  (void)data;
  (void)size;
#endif
}

LocalTime Now() {
  timeval tv{};
  gettimeofday(&tv, nullptr);
  tm t{};
  localtime_r(&tv.tv_sec, &t);
  return {
      t.tm_year + 1900, t.tm_mon + 1, t.tm_mday, t.tm_hour, t.tm_min, t.tm_sec, static_cast<int>(tv.tv_usec / 1000)};
}

void DebugOutput(std::string_view text) {
  static const bool enabled = std::getenv("LG_DEBUG_OUTPUT") != nullptr;
  if (!enabled) return;
  static std::mutex lock;
  std::lock_guard<std::mutex> guard(lock);
  std::fwrite(text.data(), 1, text.size(), stderr);
  std::fputc('\n', stderr);
}

int32_t FileStamp(const std::string& path) {
  struct stat st {};
  if (::stat(Sys(path).c_str(), &st) != 0 || S_ISDIR(st.st_mode)) return -1;
  tm t{};
  time_t secs = st.st_mtime;
  localtime_r(&secs, &t);
  if (t.tm_year < 80) return -1;  // DOS dates start in 1980
  uint32_t date = static_cast<uint32_t>(((t.tm_year - 80) << 9) | ((t.tm_mon + 1) << 5) | t.tm_mday);
  uint32_t time = static_cast<uint32_t>((t.tm_hour << 11) | (t.tm_min << 5) | (t.tm_sec / 2));
  return static_cast<int32_t>((date << 16) | time);
}

bool FileExists(const std::string& path) {
  struct stat st {};
  return ::stat(Sys(path).c_str(), &st) == 0 && !S_ISDIR(st.st_mode);
}

bool DirectoryExists(const std::string& path) {
  struct stat st {};
  return ::stat(Sys(path).c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

int64_t FileSize(const std::string& path) {
  struct stat st {};
  if (::stat(Sys(path).c_str(), &st) != 0 || S_ISDIR(st.st_mode)) return -1;
  return static_cast<int64_t>(st.st_size);
}

bool ClearAttributes(const std::string& path) {
  struct stat st {};
  std::string p = Sys(path);
  if (::stat(p.c_str(), &st) != 0) return false;
  const mode_t mode = (st.st_mode & 07777) | S_IWUSR;
  return mode == (st.st_mode & 07777) || ::chmod(p.c_str(), mode) == 0;
}

bool MakeReadOnly(const std::string& path) {
  struct stat st {};
  std::string p = Sys(path);
  if (::stat(p.c_str(), &st) != 0) return false;
  const mode_t mode = st.st_mode & 07555;
  return mode == (st.st_mode & 07777) || ::chmod(p.c_str(), mode) == 0;
}

bool DeleteFile(const std::string& path) {
  return ::unlink(Sys(path).c_str()) == 0;
}

bool RenameFile(const std::string& from, const std::string& to) {
  return ::rename(Sys(from).c_str(), Sys(to).c_str()) == 0;
}

bool ForceDirectories(const std::string& path) {
  std::string p = Sys(path);
  while (p.size() > 1 && p.back() == '/') p.pop_back();
  if (p.empty()) return false;
  if (DirectoryExists(p)) return true;
  size_t slash = p.find_last_of('/');
  if (slash != std::string::npos && slash > 0 && !ForceDirectories(p.substr(0, slash))) return false;
  return ::mkdir(p.c_str(), 0777) == 0 || errno == EEXIST;
}

bool SetLastWriteTime(const std::string& path, int64_t unixSeconds) {
  timespec times[2];
  times[0].tv_sec = 0;
  times[0].tv_nsec = UTIME_OMIT;
  times[1].tv_sec = static_cast<time_t>(unixSeconds);
  times[1].tv_nsec = 0;
  return ::utimensat(AT_FDCWD, Sys(path).c_str(), times, 0) == 0;
}

int64_t LastWriteTime(const std::string& path) {
  struct stat st {};
  if (::stat(Sys(path).c_str(), &st) != 0) return -1;
  return static_cast<int64_t>(st.st_mtime);
}

// Core paths are GBK with "\\" separators; Linux file names are UTF-8 with
// "/". The separator is replaced before conversion, stepping over GBK
// double-byte characters whose trail byte may equal "\\" (0x5C).
std::string NativePath(std::string_view path) {
  std::string p(path);
  bool ascii = true;
  for (size_t i = 0; i < p.size(); ++i) {
    unsigned char c = static_cast<unsigned char>(p[i]);
    if (c >= 0x81 && c <= 0xFE && i + 1 < p.size()) {
      ascii = false;
      ++i;
    } else if (c == '\\') {
      p[i] = '/';
    } else if (c >= 0x80) {
      ascii = false;
    }
  }
  return ascii ? p : Utf8FromGbk(p);
}

std::string ExecutablePath() {
  char buf[PATH_MAX + 1] = {};
  ssize_t n = ::readlink("/proc/self/exe", buf, PATH_MAX);
  return n > 0 ? GbkFromUtf8(std::string_view(buf, static_cast<size_t>(n))) : std::string();
}

std::string GetEnv(const char* name) {
  const char* v = std::getenv(name);
  return v ? v : "";
}

const char kPathSeparator = '/';

}  // namespace lg::plat
