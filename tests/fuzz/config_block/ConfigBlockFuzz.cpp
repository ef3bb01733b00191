// Whole launcher files through the deployment block reader, the way the
// launcher reads its own executable at start-up and when it applies its
// layout and skin, plus the block tool's locating of the program image.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "launcher/ConfigBlock.h"
#include "launcher/DelimitedText.h"
#include "launcher/SkinLayout.h"
#include "tools/launcher-block/BlockPacker.h"

namespace {

void Check(bool ok) {
  if (!ok) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const lg::TLogSink quiet = [](std::string_view) {};
  lg::TMemoryBlockSource source(data, size);
  lg::TConfigBlockReport r = lg::ReadConfigBlock(source, "launcher_abc.exe", quiet);

  // A section reported valid lies inside the input.
  for (const lg::TBlockSection* s : {&r.trailer.url, &r.trailer.res, &r.trailer.pos})
    if (s->valid) Check(s->offset > 0 && s->size > 0 && static_cast<uint64_t>(s->offset) + s->size <= size);

  size_t imageBytes = 0;
  lg::LoadImageresource(
      source, r.placement,
      [&](const lg::TImageRead&, std::string&& bytes) {
        Check(!bytes.empty() && bytes.size() <= static_cast<size_t>(r.placement.resSize));
        imageBytes += bytes.size();
      },
      quiet);
  lg::ResetComponentOffset(
      source, r.placement, [](int, int, int) {}, quiet);

  const std::string_view text(reinterpret_cast<const char*>(data), size);
  for (const std::string& t : lg::SplitDelimited(text, ' ')) Check(t.size() <= size);
  lg::SplitDelimited(text, '_');

  int64_t imageSize = 0;
  std::string error;
  if (lg::blocktool::ProgramImageSize(text, imageSize, error))
    Check(imageSize >= 0 && imageSize <= static_cast<int64_t>(size));
  return 0;
}
