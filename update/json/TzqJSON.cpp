#include "update/json/TzqJSON.h"

#include <cmath>

#include "update/json/JsonText.h"

namespace lg {

const char* TzqJSONbase::KindName() const {
  switch (Kind()) {
    case jsNumber: return "jsNumber";
    case jsString: return "jsString";
    case jsBoolean: return "jsBoolean";
    case jsNull: return "jsNull";
    case jsList: return "jsList";
    case jsObject: return "jsObject";
    case jsBase: break;
  }
  return "jsBase";
}

int32_t TzqJSONnumber::AsInt() const {
  // Truncate, then keep the low 32 bits of the integer. fmod is exact, so
  // this is defined for every finite value (a plain cast is not).
  if (!std::isfinite(Value)) return 0;
  TzqJSONfloat t = std::trunc(Value);
  TzqJSONfloat low = std::fmod(t, 4294967296.0);
  if (low < 0) low += 4294967296.0;
  return static_cast<int32_t>(static_cast<uint32_t>(low));
}

TzqJSONbase* TzqJSONcustomlist::Child(int i) const {
  if (i < 0 || i >= count_) return nullptr;
  if (members_) return &members_[i];
  return elements_[i];
}

void TzqJSONcustomlist::ForEach(const TCallback& callback) const {
  bool proceed = true;
  for (int i = 0; i < Count(); ++i) {
    auto [name, value] = NameOf(i);
    if (!value) continue;
    callback(name, value, proceed);
    if (!proceed) break;
  }
}

std::pair<std::string, TzqJSONbase*> TzqJSONlist::NameOf(int i) const {
  return {std::to_string(i), Child(i)};
}

std::pair<std::string, TzqJSONbase*> TzqJSONobject::NameOf(int i) const {
  auto* member = static_cast<TzqJSONobjectmethod*>(Child(i));
  if (!member) return {std::string(), nullptr};
  return {json::GbkFromWide(member->Name), member->Value};
}

int TzqJSONobject::IndexOfName(std::string_view name) const {
  if (json::IsAscii(name)) return index_.FindAscii(name);
  return index_.Find(json::WideFromGbk(name));
}

TzqJSONbase* TzqJSONobject::Field(std::string_view name) const {
  int i = IndexOfName(name);
  if (i < 0) return nullptr;
  return members_[i].Value;
}

std::string TzqJSONobject::FieldText(std::string_view name) const {
  TzqJSONbase* v = Field(name);
  if (!v) return {};
  if (v->Kind() != jsString) throw EInvalidCast();
  return json::GbkFromWide(static_cast<TzqJSONstring*>(v)->Value);
}

std::u16string TzqJSONobject::FieldWideText(std::string_view name) const {
  TzqJSONbase* v = Field(name);
  if (!v) return {};
  if (v->Kind() != jsString) throw EInvalidCast();
  return std::u16string(static_cast<TzqJSONstring*>(v)->Value);
}

int32_t TzqJSONobject::FieldInt(std::string_view name) const {
  TzqJSONbase* v = Field(name);
  if (!v) return 0;
  if (v->Kind() != jsNumber) throw EInvalidCast();
  return static_cast<TzqJSONnumber*>(v)->AsInt();
}

bool TzqJSONobject::FieldBool(std::string_view name) const {
  TzqJSONbase* v = Field(name);
  if (!v) return false;
  if (v->Kind() != jsBoolean) throw EInvalidCast();
  return static_cast<TzqJSONboolean*>(v)->Value;
}

}  // namespace lg
