#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <string>
#include <vector>

#include "common/FileStream.h"
#include "tests/support/TestSupport.h"
#include "update/json/TzqJSON.h"
#include "update/json/TzqJSONarena.h"
#include "update/json/TzqJSONstreamed.h"

namespace lg {
namespace {

std::unique_ptr<TzqJSONbase> Parse(std::string_view text) {
  return TzqJSONstreamed::ParseText(text);
}

TzqJSONobject* AsObject(const std::unique_ptr<TzqJSONbase>& node) {
  EXPECT_TRUE(node && node->Kind() == jsObject);
  return node && node->Kind() == jsObject ? static_cast<TzqJSONobject*>(node.get()) : nullptr;
}

TzqJSONlist* AsList(const std::unique_ptr<TzqJSONbase>& node) {
  EXPECT_TRUE(node && node->Kind() == jsList);
  return node && node->Kind() == jsList ? static_cast<TzqJSONlist*>(node.get()) : nullptr;
}

struct TShapeCase {
  const char* text;
  int kind;   // -1: no document
  int count;  // children of a list or object
};

const TShapeCase kShapes[] = {
    {"{}", jsObject, 0},
    {"\xEF\xBB\xBF{\"a\":1}", jsObject, 1},
    {"\xEF\xBB\xBF", -1, 0},
    {"", -1, 0},
    {"   \n\t", -1, 0},
    {"[]", jsList, 0},
    {"[1 2]", jsList, 2},
    {"\x01[\x1F"
     "1\x0B"
     "2\x7F]",
     -1, 0},  // 0x7F is not whitespace
    {"\x01[\x1F"
     "1\x0B"
     "2 ]",
     jsList, 2},
    {"[1,]", jsList, 1},
    {"[,]", -1, 0},
    {"[1,,2]", -1, 0},
    {"[1 2", -1, 0},
    {"[true1]", jsList, 2},
    {"[truex]", -1, 0},
    {"{\"a\":1,}", jsObject, 1},
    {"{\"a\":1 \"b\":2}", jsObject, 2},
    {"{\"a\" 1}", -1, 0},
    {"{\"a\":}", -1, 0},
    {"{a:1}", -1, 0},
    {"{} hello", jsObject, 0},
    {"[1] [2, 3]", jsList, 1},
    {"42", jsNumber, 0},
    {"true", jsBoolean, 0},
    {"falsehood", jsBoolean, 0},
    {"tru", -1, 0},
    {"nul", -1, 0},
    {"null", jsNull, 0},
    {"\"abc", -1, 0},
    {"\"ab\\\"", -1, 0},
    {"[1.]", -1, 0},
    {"{\"a\":1.}", -1, 0},
    {"1.", -1, 0},
    {"[1e]", -1, 0},
    {"[-]", -1, 0},
    {"[.5]", -1, 0},
    {"[1e400]", -1, 0},
    {"\"\\u12\"", -1, 0},
    {"\"\\uZZZZ\"", -1, 0},
    {"[\"ok\", \"\\u00G1\"]", -1, 0},
};

TEST(TzqJSONstreamed, ParsesTheLenientShapesAndRefusesMalformedOnes) {
  for (const TShapeCase& c : kShapes) {
    auto doc = Parse(c.text);
    if (c.kind < 0) {
      EXPECT_EQ(doc, nullptr) << c.text;
      continue;
    }
    ASSERT_NE(doc, nullptr) << c.text;
    EXPECT_EQ(doc->Kind(), c.kind) << c.text;
    if (doc->Kind() == jsList || doc->Kind() == jsObject) {
      EXPECT_EQ(static_cast<TzqJSONcustomlist*>(doc.get())->Count(), c.count) << c.text;
    }
  }
}

TEST(TzqJSONstreamed, ByteOrderMarkChangesNothing) {
  const char* text = "[{\"File\":\"a.dat\",\"Size\":12}]";
  auto plain = Parse(text);
  auto marked = Parse(std::string("\xEF\xBB\xBF") + text);
  ASSERT_TRUE(plain && marked);
  auto* a = static_cast<TzqJSONobject*>(AsList(plain)->Child(0));
  auto* b = static_cast<TzqJSONobject*>(AsList(marked)->Child(0));
  EXPECT_EQ(a->FieldText("File"), b->FieldText("File"));
  EXPECT_EQ(b->FieldInt("Size"), 12);
}

struct TNumberCase {
  const char* text;
  double value;
};

TEST(TzqJSONstreamed, NumbersIgnoreTheLocaleAndKeepTheirValue) {
  const TNumberCase cases[] = {
      {"+5", 5}, {"-0012", -12}, {"3.25", 3.25}, {"1e3", 1000}, {"2E+2", 200}, {"-1.5e-2", -0.015}, {"1e-400", 0},
  };
  for (const TNumberCase& c : cases) {
    auto doc = Parse(c.text);
    ASSERT_TRUE(doc && doc->Kind() == jsNumber) << c.text;
    EXPECT_DOUBLE_EQ(static_cast<TzqJSONnumber*>(doc.get())->Value, c.value) << c.text;
  }
}

TEST(TzqJSONstreamed, EveryKindOf32BitIntegerSurvives) {
  const int64_t samples[] = {0, 1, -1, 255, 65536, 2147483647, -2147483648LL, 4294967295LL, 123456789, -987654321};
  for (int64_t v : samples) {
    auto doc = Parse("{\"n\":" + std::to_string(v) + "}");
    ASSERT_NE(doc, nullptr);
    EXPECT_EQ(AsObject(doc)->FieldInt("n"), static_cast<int32_t>(static_cast<uint32_t>(v))) << v;
  }
  for (uint32_t u = 1; u != 0 && u < 0xF0000000u; u = u * 3 + 7) {
    auto doc = Parse("[" + std::to_string(u) + "]");
    auto* n = static_cast<TzqJSONnumber*>(AsList(doc)->Child(0));
    EXPECT_EQ(static_cast<uint32_t>(n->Value), u);
  }
}

TEST(TzqJSONobject, FieldIntCutsTheFractionAndKeepsTheLow32Bits) {
  auto doc = Parse(
      "{\"a\":3.9,\"b\":-3.9,\"c\":4294967297,\"d\":2147483648,\"e\":-0.5,\"f\":1e19,\"g\":-4294967296.5,"
      "\"s\":\"7\",\"z\":null}");
  TzqJSONobject* o = AsObject(doc);
  ASSERT_NE(o, nullptr);
  EXPECT_EQ(o->FieldInt("a"), 3);
  EXPECT_EQ(o->FieldInt("b"), -3);
  EXPECT_EQ(o->FieldInt("c"), 1);
  EXPECT_EQ(o->FieldInt("d"), INT32_MIN);
  EXPECT_EQ(o->FieldInt("e"), 0);
  EXPECT_EQ(o->FieldInt("f"), static_cast<int32_t>(10000000000000000000ULL & 0xFFFFFFFFu));
  EXPECT_EQ(o->FieldInt("g"), 0);
  EXPECT_EQ(o->FieldInt("absent"), 0);
  EXPECT_THROW(o->FieldInt("s"), EInvalidCast);
  EXPECT_THROW(o->FieldInt("z"), EInvalidCast);
}

TEST(TzqJSONobject, TypedLookupsRaiseOnAnotherKindAndGiveEmptyWhenAbsent) {
  auto doc = Parse("{\"t\":\"x\",\"n\":1,\"b\":true,\"z\":null,\"l\":[],\"o\":{}}");
  TzqJSONobject* o = AsObject(doc);
  ASSERT_NE(o, nullptr);
  EXPECT_EQ(o->FieldText("t"), "x");
  EXPECT_EQ(o->FieldWideText("t"), u"x");
  EXPECT_TRUE(o->FieldBool("b"));
  for (const char* other : {"n", "b", "z", "l", "o"}) {
    EXPECT_THROW(o->FieldText(other), EInvalidCast) << other;
    EXPECT_THROW(o->FieldWideText(other), EInvalidCast) << other;
  }
  for (const char* other : {"t", "n", "z", "l", "o"}) EXPECT_THROW(o->FieldBool(other), EInvalidCast) << other;
  EXPECT_EQ(o->FieldText("T"), "") << "names are case-sensitive";
  EXPECT_EQ(o->FieldWideText("none"), u"");
  EXPECT_FALSE(o->FieldBool("none"));
}

TEST(TzqJSONobject, FirstMemberOfANameWins) {
  auto doc = Parse("{\"File\":\"first\",\"Size\":1,\"File\":\"second\"}");
  TzqJSONobject* o = AsObject(doc);
  ASSERT_NE(o, nullptr);
  EXPECT_EQ(o->Count(), 3);
  EXPECT_EQ(o->FieldText("File"), "first");
  EXPECT_EQ(o->IndexOfName("File"), 0);
  EXPECT_EQ(o->IndexOfName("Size"), 1);
  EXPECT_EQ(o->IndexOfName("Hash"), -1);
  EXPECT_EQ(o->NameOf(2).first, "File");
}

TEST(TzqJSONstreamed, EscapesFollowTheLauncherRules) {
  auto doc = Parse(R"({"s":"a\nb\q\'c\/d\"e\\f\tg\b\f\r","cjk":"\u4E2D","pair":"\ud83d\ude00","half":"\ud83d!"})");
  TzqJSONobject* o = AsObject(doc);
  ASSERT_NE(o, nullptr);
  EXPECT_EQ(o->FieldWideText("s"), u"a\nb'c/d\"e\\f\tg\b\f\r") << "unknown escape \\q is dropped";
  EXPECT_EQ(o->FieldWideText("cjk"), u"\u4E2D");
  EXPECT_EQ(o->FieldText("cjk"), "\xD6\xD0") << "two GBK bytes";
  EXPECT_EQ(o->FieldWideText("pair"), u"\U0001F600") << "halves written one by one come back as a pair";
  std::u16string half = o->FieldWideText("half");
  ASSERT_EQ(half.size(), 2u);
  EXPECT_EQ(half[0], 0xD83D);
}

TEST(TzqJSONstreamed, Utf8TextAndNamesBecomeWideAndGbk) {
  auto doc = Parse(
      "{\"\xE5\x90\x8D\":\"\xE4\xB8\xAD\xE6\x96\x87\",\"bad\":\"a\xFF"
      "b\"}");
  TzqJSONobject* o = AsObject(doc);
  ASSERT_NE(o, nullptr);
  EXPECT_EQ(o->FieldWideText("\xC3\xFB"), u"\u4E2D\u6587") << "name looked up by its GBK form";
  EXPECT_EQ(o->NameOf(0).first, "\xC3\xFB");
  EXPECT_EQ(o->FieldWideText("bad"), u"a\uFFFDb");
}

TEST(TzqJSONcustomlist, ChildNameOfAndForEach) {
  auto doc = Parse("[10, \"x\", [1], {\"k\":false}]");
  TzqJSONlist* l = AsList(doc);
  ASSERT_NE(l, nullptr);
  const char* kinds[] = {"jsNumber", "jsString", "jsList", "jsObject"};
  for (int i = 0; i < 4; ++i) {
    EXPECT_STREQ(l->Child(i)->KindName(), kinds[i]);
    EXPECT_EQ(l->NameOf(i).first, std::to_string(i));
  }
  EXPECT_EQ(l->Child(-1), nullptr);
  EXPECT_EQ(l->Child(4), nullptr);
  EXPECT_EQ(l->NameOf(4).second, nullptr);

  std::vector<std::string> seen;
  l->ForEach([&](const std::string& name, TzqJSONbase*, bool& proceed) {
    seen.push_back(name);
    if (name == "1") proceed = false;
  });
  EXPECT_EQ(seen, (std::vector<std::string>{"0", "1"}));

  auto* inner = static_cast<TzqJSONobject*>(l->Child(3));
  auto* member = static_cast<TzqJSONobjectmethod*>(inner->Child(0));
  EXPECT_EQ(member->Name, u"k");
  EXPECT_STREQ(member->Value->KindName(), "jsBoolean");
  EXPECT_EQ(member->Kind(), jsBase);
}

TEST(TzqJSONstreamed, NestingIsBoundedSoDeepInputCannotExhaustTheStack) {
  const int limit = TzqJSONstreamed::kMaxDepth;
  auto nested = [](int depth, char open, char close) {
    std::string s(static_cast<size_t>(depth), open);
    return s + std::string(static_cast<size_t>(depth), close);
  };
  EXPECT_NE(Parse(nested(limit, '[', ']')), nullptr);
  EXPECT_EQ(Parse(nested(limit + 1, '[', ']')), nullptr);
  EXPECT_EQ(Parse(nested(1000000, '[', ']')), nullptr);
  std::string objects;
  for (int i = 0; i < 200000; ++i) objects += "{\"a\":";
  EXPECT_EQ(Parse(objects), nullptr);
}

TEST(TzqBalTree, IndexFindsEveryNameAndStaysBalanced) {
  std::string text = "{";
  const int n = 4096;
  for (int i = 0; i < n; ++i) text += "\"k" + std::to_string(i) + "\":" + std::to_string(i) + ",";
  text += "\"k7\":-1}";
  auto doc = Parse(text);
  TzqJSONobject* o = AsObject(doc);
  ASSERT_NE(o, nullptr);
  for (int i = 0; i < n; ++i) ASSERT_EQ(o->FieldInt("k" + std::to_string(i)), i);
  EXPECT_EQ(o->IndexOfName("k7"), 7);

  // The tree views its names and keeps its nodes in the caller's storage.
  std::vector<std::u16string> names;
  for (int i = 0; i < n; ++i)
    names.push_back(u"n" + std::u16string(1, static_cast<char16_t>('A' + i % 50)) +
                    std::u16string(static_cast<size_t>(i / 50), u'x'));
  std::vector<TzqBalNode> storage(static_cast<size_t>(n));
  TzqBalTree tree(storage.data(), static_cast<uint32_t>(n));
  for (int i = 0; i < n; ++i) tree.Insert(names[static_cast<size_t>(i)], i);
  EXPECT_EQ(tree.Size(), static_cast<size_t>(n));
  EXPECT_LE(tree.Height(), 2 * 12 + 1) << "an AA tree stays within twice the ideal height";
}

TEST(TzqBalTree, RefusesRepeatedNamesAndAFullStorage) {
  std::vector<TzqBalNode> storage(3);
  TzqBalTree tree(storage.data(), 3);
  EXPECT_TRUE(tree.Insert(u"b", 0));
  EXPECT_TRUE(tree.Insert(u"a", 1));
  EXPECT_FALSE(tree.Insert(u"b", 2)) << "the first member of a name keeps the index";
  EXPECT_TRUE(tree.Insert(u"c", 3));
  EXPECT_FALSE(tree.Insert(u"d", 4)) << "no room left";
  EXPECT_EQ(tree.Find(u"b"), 0);
  EXPECT_EQ(tree.FindAscii("c"), 3);
  EXPECT_EQ(tree.Find(u"d"), -1);
  EXPECT_EQ(tree.Size(), 3u);
}

// The tree keeps its own copy of every string and name: the text it was
// parsed from may go away at once.
TEST(TzqJSONstreamed, TreeOutlivesTheTextItWasParsedFrom) {
  std::string text = R"([{"File":"a\\b.dat","Size":1},{"File":"c.dat","Size":2,"Extra":"e\u4E2D"}])";
  auto doc = Parse(text);
  std::memset(text.data(), 'x', text.size());
  text = std::string(text.size(), 'y');
  TzqJSONlist* l = AsList(doc);
  ASSERT_NE(l, nullptr);
  ASSERT_EQ(l->Count(), 2);
  auto* first = static_cast<TzqJSONobject*>(l->Child(0));
  auto* second = static_cast<TzqJSONobject*>(l->Child(1));
  EXPECT_EQ(first->FieldText("File"), "a\\b.dat");
  EXPECT_EQ(second->FieldText("File"), "c.dat");
  EXPECT_EQ(second->FieldWideText("Extra"), u"e\u4E2D");
  EXPECT_EQ(second->NameOf(2).first, "Extra");
}

// Names are stored once per position when the next object repeats them;
// a different name at the same position must not inherit the earlier one.
TEST(TzqJSONstreamed, RepeatedMemberNamesStayDistinctPerObject) {
  auto doc = Parse(R"([{"a":1,"b":2},{"a":3,"c":4},{"b":5,"a":6},{"\u0061":7},{"a":8,"b":9}])");
  TzqJSONlist* l = AsList(doc);
  ASSERT_NE(l, nullptr);
  ASSERT_EQ(l->Count(), 5);
  auto field = [&](int i, const char* name) { return static_cast<TzqJSONobject*>(l->Child(i))->FieldInt(name); };
  EXPECT_EQ(field(0, "b"), 2);
  EXPECT_EQ(field(1, "c"), 4);
  EXPECT_EQ(field(1, "b"), 0);
  EXPECT_EQ(field(2, "b"), 5);
  EXPECT_EQ(field(2, "a"), 6);
  EXPECT_EQ(field(3, "a"), 7) << "an escaped name is unescaped";
  EXPECT_EQ(field(4, "a"), 8);
  EXPECT_EQ(field(4, "b"), 9);
  EXPECT_EQ(static_cast<TzqJSONobject*>(l->Child(2))->NameOf(0).first, "b");
}

// A freed document's blocks serve the next one, which must read back its
// own values, and the pool never keeps more than its bound.
TEST(TzqJSONarena, BlocksOfAFreedDocumentServeTheNextOne) {
  auto manifest = [](char letter) {
    std::string text = "[";
    for (int i = 0; i < 4000; ++i)
      text += "{\"File\":\"" + std::string(40, letter) + std::to_string(i) + "\",\"Size\":" + std::to_string(i) + "},";
    return text + "]";
  };
  auto first = Parse(manifest('a'));
  ASSERT_NE(AsList(first), nullptr);
  size_t pooled = TzqJSONarena::PooledBytes();
  first.reset();
  EXPECT_GT(TzqJSONarena::PooledBytes(), pooled);
  pooled = TzqJSONarena::PooledBytes();
  auto second = Parse(manifest('b'));
  TzqJSONlist* l = AsList(second);
  ASSERT_NE(l, nullptr);
  EXPECT_LT(TzqJSONarena::PooledBytes(), pooled);
  ASSERT_EQ(l->Count(), 4000);
  for (int i = 0; i < 4000; i += 397) {
    auto* e = static_cast<TzqJSONobject*>(l->Child(i));
    EXPECT_EQ(e->FieldText("File"), std::string(40, 'b') + std::to_string(i));
    EXPECT_EQ(e->FieldInt("Size"), i);
  }
  EXPECT_LE(TzqJSONarena::PooledBytes(), TzqJSONarena::kPoolBytes);
}

TEST(TzqJSONstreamed, LoadsFromFilesAndStreams) {
  test::TTempDir dir;
  EXPECT_EQ(TzqJSONstreamed::LoadFromFile(dir.File("missing.json")), nullptr);
  ASSERT_TRUE(test::WriteFileBytes(dir.File("m.json"), "junk[1,2]"));
  EXPECT_EQ(TzqJSONstreamed::LoadFromFile(dir.File("m.json")), nullptr);

  plat::TFileStream stream;
  ASSERT_TRUE(stream.Open(dir.File("m.json"), plat::TFileStream::Mode::Read));
  ASSERT_TRUE(stream.Seek(4));
  auto doc = TzqJSONstreamed::LoadFromStream(stream);
  TzqJSONlist* l = AsList(doc);
  ASSERT_NE(l, nullptr);
  EXPECT_EQ(l->Count(), 2);
}

}  // namespace
}  // namespace lg
