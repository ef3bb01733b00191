#include "tools/serverlist-service/ServerListDocument.h"

#include <memory>

#include "common/AsciiCase.h"
#include "common/Platform.h"
#include "servers/ServerListFrame.h"
#include "update/json/TzqJSON.h"
#include "update/json/TzqJSONstreamed.h"

namespace lg {
namespace {

struct TKey {
  const char* name;
  TzqJSONkind kind;
};

// The keys the launcher reads from each server and the kind each must have
// (a key of another kind, null included, stops the launcher's reading).
constexpr TKey kKeys[] = {
    {"name", jsString},     {"alias", jsString},     {"ip", jsString},      {"port", jsNumber},
    {"id", jsNumber},       {"recommend", jsNumber}, {"default", jsNumber}, {"version", jsNumber},
    {"patchurl", jsString}, {"opentime", jsNumber},  {"member", jsString},  {"test", jsNumber},
};

const char* KindWord(TzqJSONkind kind) {
  switch (kind) {
    case jsNumber: return "a number";
    case jsString: return "a string";
    case jsBoolean: return "a boolean";
    case jsNull: return "null";
    case jsList: return "an array";
    case jsObject: return "an object";
    default: return "something else";
  }
}

bool IsServerName(const std::string& name) {
  return SameText(name, "server");
}

bool CheckServers(const TzqJSONlist& servers, std::string& error) {
  for (int i = 0; i < servers.Count(); ++i) {
    const std::string where = "server[" + std::to_string(i) + "]";
    const TzqJSONbase* element = servers.Child(i);
    if (element->Kind() != jsObject) {
      error = where + " is " + KindWord(element->Kind()) + ", expected an object";
      return false;
    }
    const auto& entry = *static_cast<const TzqJSONobject*>(element);
    for (const TKey& key : kKeys) {
      const TzqJSONbase* value = entry.Field(key.name);
      if (value && value->Kind() != key.kind) {
        error = where + "." + key.name + " is " + KindWord(value->Kind()) + ", expected " + KindWord(key.kind);
        return false;
      }
    }
  }
  return true;
}

}  // namespace

bool PrepareServerList(std::string_view utf8, std::string& gbk, std::string& error) {
  std::unique_ptr<TzqJSONbase> doc = TzqJSONstreamed::ParseText(utf8);
  if (!doc) {
    error = "the list is not valid JSON";
    return false;
  }
  if (doc->Kind() != jsObject) {
    error = std::string("the list's top level is ") + KindWord(doc->Kind()) + ", expected an object";
    return false;
  }
  const auto& top = *static_cast<const TzqJSONobject*>(doc.get());
  int arrays = 0;
  for (int i = 0; i < top.Count(); ++i) {
    auto [name, value] = top.NameOf(i);
    if (!value || !IsServerName(name)) continue;
    if (value->Kind() != jsList) {
      error = "\"" + name + "\" is " + KindWord(value->Kind()) + ", expected an array of servers";
      return false;
    }
    if (!CheckServers(*static_cast<const TzqJSONlist*>(value), error)) return false;
    ++arrays;
  }
  if (arrays == 0) {
    error = "the list has no \"server\" array";
    return false;
  }

  // A byte order mark has no GBK code; the launcher does not need it.
  if (utf8.substr(0, 3) == "\xEF\xBB\xBF") utf8.remove_prefix(3);
  std::string converted;
  if (!plat::TryGbkFromUtf8(utf8, converted)) {
    error = "the list holds a character that has no GBK code (or is not UTF-8)";
    return false;
  }
  if (converted.size() > kMaxFramePayload) {
    error = "the list is " + std::to_string(converted.size()) + " bytes in GBK; one frame carries at most " +
            std::to_string(kMaxFramePayload);
    return false;
  }
  gbk = std::move(converted);
  return true;
}

}  // namespace lg
