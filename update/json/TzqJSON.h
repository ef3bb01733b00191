// The JSON document model shared by the update manifests and the server
// list: a tree of typed nodes built by TzqJSONstreamed (the parser) and only
// read afterwards. The root belongs to whoever parsed it and owns the whole
// tree: every other node, child array and string lives in the root's arena
// (TzqJSONarena) and goes with it, so a pointer or view taken from the tree
// stays valid exactly as long as the root. Nodes are not thread-safe; a tree
// is read by the thread that parsed it.
//
// Typed member lookups (FieldText, FieldWideText, FieldInt, FieldBool) give
// the empty value for an absent member and raise EInvalidCast for a member
// of another kind (null included), which ends the caller's reading.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <utility>

#include "update/json/JsonErrors.h"
#include "update/json/TzqBalTree.h"

namespace lg {

enum TzqJSONkind : int {
  jsBase = 0,
  jsNumber = 1,
  jsString = 2,
  jsBoolean = 3,
  jsNull = 4,
  jsList = 5,
  jsObject = 6,
};

// Numbers keep double precision: every 32-bit integer survives unchanged.
using TzqJSONfloat = double;

class TzqJSONbase {
 public:
  virtual ~TzqJSONbase() = default;
  virtual TzqJSONkind Kind() const { return jsBase; }
  const char* KindName() const;

 protected:
  TzqJSONbase() = default;
  TzqJSONbase(const TzqJSONbase&) = delete;
  TzqJSONbase& operator=(const TzqJSONbase&) = delete;
};

class TzqJSONnumber : public TzqJSONbase {
 public:
  explicit TzqJSONnumber(TzqJSONfloat value) : Value(value) {}
  TzqJSONkind Kind() const override { return jsNumber; }
  // The value with its fraction cut off (towards zero), low 32 bits.
  int32_t AsInt() const;
  TzqJSONfloat Value;
};

// The text is not owned: it lives in the document's arena.
class TzqJSONstring : public TzqJSONbase {
 public:
  explicit TzqJSONstring(std::u16string_view value) : Value(value) {}
  TzqJSONkind Kind() const override { return jsString; }
  std::u16string_view Value;
};

class TzqJSONboolean : public TzqJSONbase {
 public:
  explicit TzqJSONboolean(bool value) : Value(value) {}
  TzqJSONkind Kind() const override { return jsBoolean; }
  bool Value;
};

class TzqJSONnull : public TzqJSONbase {
 public:
  TzqJSONkind Kind() const override { return jsNull; }
};

// One member of an object: its name and its value, both in the arena.
class TzqJSONobjectmethod final : public TzqJSONbase {
 public:
  TzqJSONobjectmethod(std::u16string_view name, TzqJSONbase* value) : Name(name), Value(value) {}
  std::u16string_view Name;
  TzqJSONbase* Value;
};

// Common base of lists and objects: ordered children, held in an array in
// the arena (pointers to the elements of a list, the member pairs of an
// object themselves).
class TzqJSONcustomlist : public TzqJSONbase {
 public:
  using TCallback = std::function<void(const std::string& name, TzqJSONbase* value, bool& proceed)>;

  int Count() const { return count_; }
  // The i-th child (for an object the member pair), or nullptr.
  TzqJSONbase* Child(int i) const;
  // Name (GBK text; the decimal index for a list) and value of child i;
  // value is nullptr when i is out of range.
  virtual std::pair<std::string, TzqJSONbase*> NameOf(int i) const = 0;
  // Calls back for every child that has a value, in order, until the
  // callback clears `proceed`.
  void ForEach(const TCallback& callback) const;

 protected:
  TzqJSONcustomlist(TzqJSONbase* const* elements, TzqJSONobjectmethod* members, int count)
      : elements_(elements), members_(members), count_(count) {}

  TzqJSONbase* const* elements_;  // a list's
  TzqJSONobjectmethod* members_;  // an object's
  int count_;
};

class TzqJSONlist : public TzqJSONcustomlist {
 public:
  // `elements` must outlive the list (the parser places it in the arena).
  TzqJSONlist(TzqJSONbase* const* elements, int count) : TzqJSONcustomlist(elements, nullptr, count) {}
  TzqJSONkind Kind() const override { return jsList; }
  std::pair<std::string, TzqJSONbase*> NameOf(int i) const override;
};

class TzqJSONobject : public TzqJSONcustomlist {
 public:
  // `members` and the storage behind `index` (which already holds every
  // member's name) must outlive the object.
  TzqJSONobject(TzqJSONobjectmethod* members, int count, const TzqBalTree& index)
      : TzqJSONcustomlist(nullptr, members, count), index_(index) {}
  TzqJSONkind Kind() const override { return jsObject; }
  std::pair<std::string, TzqJSONbase*> NameOf(int i) const override;

  // Names are GBK text, compared exactly after conversion to wide text.
  int IndexOfName(std::string_view name) const;
  int IndexOfWideName(std::u16string_view name) const { return index_.Find(name); }
  // The value of the first member of that name, or nullptr.
  TzqJSONbase* Field(std::string_view name) const;

  std::string FieldText(std::string_view name) const;
  std::u16string FieldWideText(std::string_view name) const;
  int32_t FieldInt(std::string_view name) const;
  bool FieldBool(std::string_view name) const;

 private:
  TzqBalTree index_;
};

}  // namespace lg
