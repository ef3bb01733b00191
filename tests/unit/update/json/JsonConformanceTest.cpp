// Public JSON test inputs (tests/data/json, see PROVENANCE.txt there) read
// by the launcher's parser: y_ files must parse, n_ files must be refused
// unless one of the parser's documented leniencies accepts them, i_ files
// may go either way but must return.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "tests/support/TestSupport.h"
#include "update/json/JsonText.h"
#include "update/json/TzqJSON.h"
#include "update/json/TzqJSONstreamed.h"

namespace lg {
namespace {

const std::string kDataDir = std::string(LG_TEST_DATA_DIR) + "json/";

// The ways the parser accepts more than strict JSON, each one written down
// in the parser's rules.
enum class TLeniency {
  TrailingComma,        // "[1,]", "{"a":1,}"
  WhitespaceSeparates,  // "[1 true]", "[3[4]]": any non-comma continues
  TextAfterValue,       // "[1]x": what follows the first value is ignored
  NumberForm,           // "+1", leading zeros
  DroppedEscape,        // "\x", "\a", "\U": the backslash and its character go
  RawBytesInString,     // control bytes and bad UTF-8 between the quotes
  ControlIsWhitespace,  // NUL, form feed and every byte below 33 between tokens
};

// Every n_ case the parser accepts, with the leniency that accepts it.
const std::map<std::string, TLeniency> kAcceptedInvalid = {
    {"n_array_1_true_without_comma.json", TLeniency::WhitespaceSeparates},
    {"n_array_inner_array_no_comma.json", TLeniency::WhitespaceSeparates},
    {"n_number_1_000.json", TLeniency::WhitespaceSeparates},
    {"n_number_expression.json", TLeniency::WhitespaceSeparates},  // "1" then "+2"
    {"n_array_extra_comma.json", TLeniency::TrailingComma},
    {"n_array_number_and_comma.json", TLeniency::TrailingComma},
    {"n_object_trailing_comma.json", TLeniency::TrailingComma},
    {"n_object_lone_continuation_byte_in_key_and_trailing_comma.json", TLeniency::TrailingComma},
    {"n_array_comma_after_close.json", TLeniency::TextAfterValue},
    {"n_array_extra_close.json", TLeniency::TextAfterValue},
    {"n_multidigit_number_then_00.json", TLeniency::TextAfterValue},
    {"n_object_trailing_comment.json", TLeniency::TextAfterValue},
    {"n_object_trailing_comment_open.json", TLeniency::TextAfterValue},
    {"n_object_trailing_comment_slash_open.json", TLeniency::TextAfterValue},
    {"n_object_trailing_comment_slash_open_incomplete.json", TLeniency::TextAfterValue},
    {"n_object_with_trailing_garbage.json", TLeniency::TextAfterValue},
    {"n_string_with_trailing_garbage.json", TLeniency::TextAfterValue},
    {"n_structure_array_trailing_garbage.json", TLeniency::TextAfterValue},
    {"n_structure_array_with_extra_array_close.json", TLeniency::TextAfterValue},
    {"n_structure_close_unopened_array.json", TLeniency::TextAfterValue},
    {"n_structure_double_array.json", TLeniency::TextAfterValue},
    {"n_structure_number_with_trailing_garbage.json", TLeniency::TextAfterValue},
    {"n_structure_object_followed_by_closing_object.json", TLeniency::TextAfterValue},
    {"n_structure_object_with_trailing_garbage.json", TLeniency::TextAfterValue},
    {"n_structure_trailing_#.json", TLeniency::TextAfterValue},
    {"n_number_+1.json", TLeniency::NumberForm},
    {"n_number_-01.json", TLeniency::NumberForm},
    {"n_number_neg_int_starting_with_zero.json", TLeniency::NumberForm},
    {"n_number_with_leading_zero.json", TLeniency::NumberForm},
    {"n_string_backslash_00.json", TLeniency::DroppedEscape},
    {"n_string_escape_x.json", TLeniency::DroppedEscape},
    {"n_string_escaped_ctrl_char_tab.json", TLeniency::DroppedEscape},
    {"n_string_escaped_emoji.json", TLeniency::DroppedEscape},
    {"n_string_incomplete_surrogate_escape_invalid.json", TLeniency::DroppedEscape},
    {"n_string_invalid_backslash_esc.json", TLeniency::DroppedEscape},
    {"n_string_invalid_utf8_after_escape.json", TLeniency::DroppedEscape},
    {"n_string_unicode_CapitalU.json", TLeniency::DroppedEscape},
    {"n_string_unescaped_ctrl_char.json", TLeniency::RawBytesInString},
    {"n_string_unescaped_newline.json", TLeniency::RawBytesInString},
    {"n_string_unescaped_tab.json", TLeniency::RawBytesInString},
    {"n_structure_null-byte-outside-string.json", TLeniency::ControlIsWhitespace},
    {"n_structure_whitespace_formfeed.json", TLeniency::ControlIsWhitespace},
};

struct TCase {
  std::string name;
  std::string bytes;
};

std::vector<TCase> Cases(const std::string& folder, char prefix) {
  std::vector<TCase> out;
  for (const auto& entry : std::filesystem::directory_iterator(kDataDir + folder)) {
    std::string name = entry.path().filename().string();
    if (prefix != '*' && (name.empty() || name[0] != prefix)) continue;
    out.push_back({name, test::ReadFileBytes(kDataDir + folder + "/" + name)});
  }
  std::sort(out.begin(), out.end(), [](const TCase& a, const TCase& b) { return a.name < b.name; });
  return out;
}

// Parses and fails the test when one document takes longer than a
// generous bound (the slowest input here takes a few milliseconds).
std::unique_ptr<TzqJSONbase> TimedParse(const TCase& c) {
  auto start = std::chrono::steady_clock::now();
  auto doc = TzqJSONstreamed::ParseText(c.bytes);
  auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start).count();
  EXPECT_LT(ms, test::ScaledMs(2000)) << c.name;
  return doc;
}

TEST(JsonConformance, EveryMustParseCaseParses) {
  auto cases = Cases("test_parsing", 'y');
  ASSERT_EQ(cases.size(), 95u);
  for (const auto& c : cases) EXPECT_NE(TimedParse(c), nullptr) << c.name;
}

TEST(JsonConformance, MustFailCasesAreRefusedUnlessADocumentedLeniencyAcceptsThem) {
  auto cases = Cases("test_parsing", 'n');
  ASSERT_EQ(cases.size(), 188u);
  size_t accepted = 0;
  for (const auto& c : cases) {
    bool parsed = TimedParse(c) != nullptr;
    bool lenient = kAcceptedInvalid.count(c.name) != 0;
    // Both ways: an acceptance nobody documented is a fault, and a listed
    // case that is now refused means the table no longer says what the
    // parser does.
    EXPECT_EQ(parsed, lenient) << c.name;
    accepted += parsed;
  }
  EXPECT_EQ(accepted, kAcceptedInvalid.size());
}

TEST(JsonConformance, ImplementationDefinedAndTransformCasesReturn) {
  size_t count = 0;
  for (const auto& c : Cases("test_parsing", 'i')) {
    TimedParse(c);
    ++count;
  }
  EXPECT_EQ(count, 35u);
  // Odd but valid documents (huge numbers, repeated names): each parses.
  size_t transforms = 0;
  for (const auto& c : Cases("test_transform", '*')) {
    EXPECT_NE(TimedParse(c), nullptr) << c.name;
    ++transforms;
  }
  EXPECT_EQ(transforms, 22u);
}

// The values the leniencies give, read back from the suite's own files.
TEST(JsonConformance, LenientReadingsGiveTheDocumentedValues) {
  struct TRow {
    const char* file;
    const char* firstString;  // UTF-8; nullptr: first child is not a string
    int count;
  };
  const TRow rows[] = {
      {"n_string_escape_x.json", "00", 1},  // "\x" dropped, "00" kept
      {"n_string_invalid_backslash_esc.json", "", 1},
      {"n_string_escaped_emoji.json", "", 1},  // the whole character goes
      {"n_string_invalid_utf8_after_escape.json", "", 1},
      {"n_string_unescaped_tab.json", "\t", 1},
      {"n_array_1_true_without_comma.json", nullptr, 2},
      {"n_number_expression.json", nullptr, 2},
      {"n_structure_null-byte-outside-string.json", nullptr, 0},
  };
  for (const auto& r : rows) {
    auto doc = TzqJSONstreamed::ParseText(test::ReadFileBytes(kDataDir + "test_parsing/" + r.file));
    ASSERT_TRUE(doc && doc->Kind() == jsList) << r.file;
    auto* list = static_cast<TzqJSONlist*>(doc.get());
    EXPECT_EQ(list->Count(), r.count) << r.file;
    if (r.firstString) {
      ASSERT_TRUE(list->Child(0) && list->Child(0)->Kind() == jsString) << r.file;
      EXPECT_EQ(static_cast<TzqJSONstring*>(list->Child(0))->Value, json::Utf16FromUtf8(r.firstString)) << r.file;
    }
  }
}

TEST(JsonConformance, LargeDocumentsParseWithEveryElement) {
  std::string numbers = test::ReadFileBytes(kDataDir + "big/numbers.json");
  auto doc = TzqJSONstreamed::ParseText(numbers);
  ASSERT_TRUE(doc && doc->Kind() == jsList);
  auto* list = static_cast<TzqJSONlist*>(doc.get());
  // A flat list of numbers: one element more than commas.
  EXPECT_EQ(list->Count(), std::count(numbers.begin(), numbers.end(), ',') + 1);
  for (int i = 0; i < list->Count(); ++i) ASSERT_EQ(list->Child(i)->Kind(), jsNumber) << i;

  auto events = TzqJSONstreamed::ParseText(test::ReadFileBytes(kDataDir + "big/github_events.json"));
  ASSERT_TRUE(events && events->Kind() == jsList);
  auto* eventList = static_cast<TzqJSONlist*>(events.get());
  ASSERT_GT(eventList->Count(), 0);
  for (int i = 0; i < eventList->Count(); ++i) {
    ASSERT_EQ(eventList->Child(i)->Kind(), jsObject) << i;
    EXPECT_FALSE(static_cast<TzqJSONobject*>(eventList->Child(i))->FieldText("type").empty()) << i;
  }
}

}  // namespace
}  // namespace lg
