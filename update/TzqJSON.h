// The JSON document model shared by the update manifests and the server
// list: a tree of typed nodes built by TzqJSONstreamed (the parser) and only
// read afterwards. Every node is owned by its parent; the root belongs to
// whoever parsed it. Nodes are not thread-safe; a tree is read by the
// thread that parsed it.
//
// Typed member lookups (FieldText, FieldWideText, FieldInt, FieldBool) give
// the empty value for an absent member and raise EInvalidCast for a member
// of another kind (null included), which ends the caller's reading.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "update/JsonErrors.h"
#include "update/TzqBalTree.h"

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

class TzqJSONnumber final : public TzqJSONbase {
 public:
  explicit TzqJSONnumber(TzqJSONfloat value) : Value(value) {}
  TzqJSONkind Kind() const override { return jsNumber; }
  // The value with its fraction cut off (towards zero), low 32 bits.
  int32_t AsInt() const;
  TzqJSONfloat Value;
};

class TzqJSONstring final : public TzqJSONbase {
 public:
  explicit TzqJSONstring(std::u16string value) : Value(std::move(value)) {}
  TzqJSONkind Kind() const override { return jsString; }
  std::u16string Value;
};

class TzqJSONboolean final : public TzqJSONbase {
 public:
  explicit TzqJSONboolean(bool value) : Value(value) {}
  TzqJSONkind Kind() const override { return jsBoolean; }
  bool Value;
};

class TzqJSONnull final : public TzqJSONbase {
 public:
  TzqJSONkind Kind() const override { return jsNull; }
};

// One member of an object: its name and its owned value.
class TzqJSONobjectmethod final : public TzqJSONbase {
 public:
  TzqJSONobjectmethod(std::u16string name, std::unique_ptr<TzqJSONbase> value)
      : Name(std::move(name)), Value(std::move(value)) {}
  std::u16string Name;
  std::unique_ptr<TzqJSONbase> Value;
};

// Common base of lists and objects: ordered, owned children.
class TzqJSONcustomlist : public TzqJSONbase {
 public:
  using TCallback = std::function<void(const std::string& name, TzqJSONbase* value, bool& proceed)>;

  int Count() const { return static_cast<int>(children_.size()); }
  // The i-th child (for an object the member pair), or nullptr.
  TzqJSONbase* Child(int i) const;
  // Name (GBK text; the decimal index for a list) and value of child i;
  // value is nullptr when i is out of range.
  virtual std::pair<std::string, TzqJSONbase*> NameOf(int i) const = 0;
  // Calls back for every child that has a value, in order, until the
  // callback clears `proceed`.
  void ForEach(const TCallback& callback) const;

 protected:
  std::vector<std::unique_ptr<TzqJSONbase>> children_;
};

class TzqJSONlist final : public TzqJSONcustomlist {
 public:
  TzqJSONkind Kind() const override { return jsList; }
  std::pair<std::string, TzqJSONbase*> NameOf(int i) const override;
  void Add(std::unique_ptr<TzqJSONbase> element) { children_.push_back(std::move(element)); }
};

class TzqJSONobject final : public TzqJSONcustomlist {
 public:
  TzqJSONkind Kind() const override { return jsObject; }
  std::pair<std::string, TzqJSONbase*> NameOf(int i) const override;
  // Appends a member; the index keeps the first member of each name.
  void Add(std::u16string name, std::unique_ptr<TzqJSONbase> value);

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
