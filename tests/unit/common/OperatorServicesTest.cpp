#include "common/OperatorServices.h"

#include <gtest/gtest.h>

namespace lg::ops {
namespace {

TEST(OperatorServices, UrlShapes) {
  EXPECT_EQ(ManifestUrl("http://cdn.example.com/client", kClientManifestName),
            "http://cdn.example.com/client/update.json");
  // No "/" between the base and the package folder.
  EXPECT_EQ(PackageManifestUrl("http://cdn.example.com/client/"),
            "http://cdn.example.com/client/complete/release.json");
  EXPECT_EQ(IncrementalFileUrl("http://h/b", "data\\a.dat", true), "http://h/b/data\\a.dat.zip");
  EXPECT_EQ(IncrementalFileUrl("http://h/b", "a.dat", false), "http://h/b/a.dat");
}

TEST(OperatorServices, PackageUrlTurnsBackslashesIntoSlashesButKeepsGbkTrailBytes) {
  EXPECT_EQ(PackageFileUrl("http://h/", "full\\\\pkg\\game.zip"), "http://h/complete/full/pkg/game.zip");
  // "\xB1\x5C" is one GBK character whose trail byte is the backslash code.
  EXPECT_EQ(PackageFileUrl("http://h/", "\xB1\x5C\\a.zip"), "http://h/complete/\xB1\x5C/a.zip");
}

}  // namespace
}  // namespace lg::ops
