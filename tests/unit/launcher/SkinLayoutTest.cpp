#include "launcher/SkinLayout.h"

#include <gtest/gtest.h>

#include <map>
#include <set>

namespace lg {
namespace {

void PutInt32(std::string& out, int32_t v) {
  for (int i = 0; i < 4; ++i) out += static_cast<char>((static_cast<uint32_t>(v) >> (8 * i)) & 0xFF);
}

// An image section of records "<n>:<name>" behind a 100-byte prefix.
struct TImageFile {
  std::string bytes = std::string(100, 'p');
  TBlockPlacement place;
  explicit TImageFile(int records = kImageCount) {
    place.resOffset = 100;
    for (int i = 0; i < records; ++i) {
      std::string body = std::to_string(i) + ":" + kImageNames[i];
      PutInt32(bytes, static_cast<int32_t>(body.size()));
      bytes += body;
    }
    place.resSize = static_cast<int32_t>(bytes.size()) - 100;
    bytes += "trailing bytes outside the section";
  }
};

TEST(SkinLayout, TablesHaveTheFixedShape) {
  std::set<std::string> names(kImageNames.begin(), kImageNames.end());
  EXPECT_EQ(names.size(), 33u);
  std::map<int, int> readsPerImage;
  for (const TImageRead& r : kImageReads) ++readsPerImage[r.image];
  ASSERT_EQ(readsPerImage.size(), 33u);
  for (auto [image, reads] : readsPerImage) {
    const std::string name = kImageNames[image];
    const bool shared = name == "cb_normal" || name == "Progress_bk" || name == "Progress_all" || name == "cb_active" ||
                        name == "cb_down";
    EXPECT_EQ(reads, shared ? 2 : 1) << name;
  }
  int applied = 0;
  for (const TPositionRecord& r : kPositionRecords) applied += r.fields;
  EXPECT_EQ(applied, 17 * 4 + 2);
  EXPECT_EQ(kPositionRecords[12].skipAfter, 4);
}

TEST(SkinLayout, ImagesLoadInOrderAndSharedImagesAreReadTwiceFromTheSameBytes) {
  TImageFile f;
  TMemoryBlockSource source(f.bytes);
  std::vector<std::pair<const TImageRead*, std::string>> got;
  int n = LoadImageresource(
      source, f.place, [&](const TImageRead& r, std::string&& b) { got.emplace_back(&r, std::move(b)); },
      [](std::string_view) {});
  ASSERT_EQ(n, kImageReadCount);
  ASSERT_EQ(got.size(), static_cast<size_t>(kImageReadCount));
  std::map<std::string, std::string> byTarget;
  for (auto& [read, bytes] : got) {
    EXPECT_EQ(bytes, std::to_string(read->image) + ":" + kImageNames[read->image]);
    byTarget[std::string(read->control) + "/" + std::to_string(static_cast<int>(read->use)) + "/" +
             std::to_string(read->state)] = bytes;
  }
  EXPECT_EQ(byTarget["btnSelMem/1/0"], "6:cb_normal");
  EXPECT_EQ(byTarget["btnSelMem/1/2"], "28:cb_down");
  EXPECT_EQ(byTarget["LGCurrent/4/-1"], "12:Progress_all");
  EXPECT_EQ(byTarget["LGStart/1/3"], "23:btn_start_disable");
  EXPECT_EQ(got.back().second, "32:min_down");
}

TEST(SkinLayout, RecordRunningPastTheSectionStopsLoadingThere) {
  TImageFile f;
  f.place.resSize -= 1;  // the last record now ends one byte past the section
  TMemoryBlockSource source(f.bytes);
  std::vector<std::string> got, log;
  LoadImageresource(
      source, f.place, [&](const TImageRead&, std::string&& b) { got.push_back(b); },
      [&](std::string_view l) { log.emplace_back(l); });
  ASSERT_EQ(got.size(), static_cast<size_t>(kImageReadCount - 1));
  EXPECT_EQ(log.back().rfind("load img file error seek=", 0), 0u) << log.back();

  // A corrupt length in the middle: nothing from there on.
  TImageFile g;
  const int64_t third = 100 + 4 + 12 + 4 + 15;  // behind "0:background" and "1:btn_cz_normal"
  g.bytes[third + 3] = '\x7F';                  // length 0x7F00000F: no allocation, no image
  TMemoryBlockSource broken(g.bytes);
  got.clear();
  LoadImageresource(
      broken, g.place, [&](const TImageRead&, std::string&& b) { got.push_back(b); }, [](std::string_view) {});
  EXPECT_EQ(got, (std::vector<std::string>{"0:background", "1:btn_cz_normal"}));
}

TEST(SkinLayout, NoImageWithoutAValidSection) {
  TImageFile f;
  f.place.resOffset = 0;
  TMemoryBlockSource source(f.bytes);
  int calls = 0;
  EXPECT_EQ(LoadImageresource(
                source, f.place, [&](const TImageRead&, std::string&&) { ++calls; }, [](std::string_view) {}),
            0);
  EXPECT_EQ(calls, 0);
}

// Positions: record i holds X = 10*i, Y = -(10*i), W = 100+i, H = 200+i.
std::string Positions(int bytes) {
  std::string s;
  for (int i = 0; i < kPositionRecordCount; ++i)
    for (int v : {10 * i, -10 * i, 100 + i, 200 + i}) {
      s += static_cast<char>(v & 0xFF);
      s += static_cast<char>((v >> 8) & 0xFF);
    }
  return std::string(40, 'x') + s.substr(0, bytes);
}

std::map<std::pair<int, int>, int> Apply(const std::string& file, int posSize,
                                         std::vector<std::string>* log = nullptr) {
  TBlockPlacement place;
  place.posOffset = 40;
  place.posSize = posSize;
  TMemoryBlockSource source(file);
  std::map<std::pair<int, int>, int> got;
  ResetComponentOffset(
      source, place,
      [&](int rec, int field, int v) {
        got[{rec, field}] = v;
      },
      [&](std::string_view l) {
        if (log) log->emplace_back(l);
      });
  return got;
}

TEST(SkinLayout, PositionsAreAppliedInTableOrderWithTheLabelSkip) {
  std::vector<std::string> log;
  auto got = Apply(Positions(152), 152, &log);
  EXPECT_EQ(got.size(), 70u);
  EXPECT_EQ(got.count({0, 0}), 0u);
  EXPECT_EQ((got[{1, 0}]), 10);
  EXPECT_EQ((got[{1, 1}]), -10);
  EXPECT_EQ((got[{12, 1}]), -120);
  EXPECT_EQ(got.count({12, 2}), 0u);
  EXPECT_EQ((got[{13, 0}]), 130);  // the skip keeps the records aligned
  EXPECT_EQ((got[{18, 3}]), 218);
  EXPECT_EQ(log[0], "load img pos picSlogan X beginning");
  EXPECT_EQ(log[1], "load img pos picSlogan X begin, offset=48");
  EXPECT_EQ(log[2], "load img pos picSlogan X end, result=10");
  EXPECT_EQ(log[3 * 4 + 1], "load img pos wb X begin, offset=56");
}

TEST(SkinLayout, ShortOrInvalidPositionSectionLeavesLaterControlsUnapplied) {
  std::vector<std::string> log;
  auto got = Apply(Positions(98), 98, &log);  // records 1..11 whole, then one value
  EXPECT_EQ(got.size(), 11u * 4 + 1);
  EXPECT_EQ((got[{11, 3}]), 211);
  EXPECT_EQ((got[{12, 0}]), 120);
  EXPECT_EQ(got.count({12, 1}), 0u);
  EXPECT_TRUE(std::find(log.begin(), log.end(), "load img pos lbIngUpdate Y error, offset=138, posend=138") !=
              log.end());

  EXPECT_TRUE(Apply(Positions(152), 0).empty());
  EXPECT_TRUE(Apply(Positions(4), 4).empty());
}

}  // namespace
}  // namespace lg
