// Parses arbitrary bytes as a JSON document and reads the whole tree the way
// the manifest and server-list readers do: every member through every typed
// lookup. A lookup must raise exactly when the member has another kind, and
// the name index must agree with a linear scan for the first member.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "update/json/JsonText.h"
#include "update/json/TzqJSON.h"
#include "update/json/TzqJSONstreamed.h"

namespace {

using namespace lg;

void Check(bool ok) {
  if (!ok) std::abort();
}

template <typename F>
void Lookup(F f, bool shouldRaise) {
  bool raised = false;
  try {
    f();
  } catch (const EInvalidCast&) {
    raised = true;
  }
  Check(raised == shouldRaise);
}

void Walk(const TzqJSONbase* node) {
  Check(node->KindName() != nullptr);
  if (node->Kind() != jsList && node->Kind() != jsObject) return;
  auto* list = static_cast<const TzqJSONcustomlist*>(node);
  int visited = 0;
  list->ForEach([&](const std::string&, TzqJSONbase*, bool&) { ++visited; });
  Check(visited == list->Count());
  Check(list->Child(list->Count()) == nullptr);
  if (node->Kind() == jsList) {
    for (int i = 0; i < list->Count(); ++i) Walk(list->Child(i));
    return;
  }
  auto* object = static_cast<const TzqJSONobject*>(node);
  for (int i = 0; i < object->Count(); ++i) {
    auto* member = static_cast<const TzqJSONobjectmethod*>(object->Child(i));
    Walk(member->Value);
    int first = 0;
    while (static_cast<const TzqJSONobjectmethod*>(object->Child(first))->Name != member->Name) ++first;
    Check(object->IndexOfWideName(member->Name) == first);
    // The 8-bit lookups see the name through GBK; names that GBK cannot
    // hold exactly may find another member or none, and are left out.
    std::string name = json::GbkFromWide(member->Name);
    if (json::WideFromGbk(name) != member->Name) continue;
    const TzqJSONbase* value = static_cast<const TzqJSONobjectmethod*>(object->Child(first))->Value;
    TzqJSONkind kind = value->Kind();
    Lookup([&] { object->FieldText(name); }, kind != jsString);
    Lookup([&] { object->FieldWideText(name); }, kind != jsString);
    Lookup([&] { object->FieldInt(name); }, kind != jsNumber);
    Lookup([&] { object->FieldBool(name); }, kind != jsBoolean);
    object->NameOf(i);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view text(reinterpret_cast<const char*>(data), size);
  std::unique_ptr<TzqJSONbase> doc = TzqJSONstreamed::ParseText(text);
  if (doc) Walk(doc.get());
  return 0;
}
