// Fakes for the provisioning tool's commands: an in-memory registry below
// HKEY_LOCAL_MACHINE in two views (names compared without case, read-only keys, write and
// delete failures on demand, every opened key accounted), a HID list, and a
// console that keeps what it is told.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "provision/ConsolePort.h"
#include "provision/DeviceValues.h"
#include "provision/HidPort.h"
#include "provision/RegistryPort.h"
#include "provision/Text.h"

namespace provision_test {

using namespace qvprovision;

inline std::u16string Folded(std::u16string text) {
  for (char16_t& ch : text) {
    if (ch >= u'A' && ch <= u'Z') ch = static_cast<char16_t>(ch + 32);
  }
  return text;
}

// UTF-16 to text a failure message can show (ASCII only).
inline std::string Narrow(const std::u16string& text) {
  std::string narrow;
  for (char16_t ch : text) narrow.push_back(ch < 0x80 ? static_cast<char>(ch) : '?');
  return narrow;
}

class FakeRegistry : public RegistryPort {
 public:
  struct Key {
    std::u16string path;
    std::vector<RegistryValue> values;
    bool readOnly = false;  // values, new subkeys and deletion are denied
  };
  // Keys by folded path: the 64-bit view, and the 32-bit one. `view` is the
  // view in use, the program's own until UseView.
  std::map<std::u16string, Key> keys;
  std::map<std::u16string, Key> keys32;
  RegistryView view = RegistryView::k64;
  bool hasOtherView = true;
  std::map<int, std::int32_t> failSetValue;   // SetValue call number (from 0) -> status
  std::int32_t deleteTreeStatus = kStatusOk;  // a DeleteTree that fails
  std::map<KeyToken, std::pair<std::u16string, bool>> open;  // -> folded path, writable
  int setValueCalls = 0;

  std::map<std::u16string, Key>& Tree() { return view == RegistryView::k64 ? keys : keys32; }
  const std::map<std::u16string, Key>& Tree() const {
    return view == RegistryView::k64 ? keys : keys32;
  }

  RegistryView View() const override { return view; }
  bool UseView(RegistryView wanted) override {
    if (wanted != view && !hasOtherView) return false;
    view = wanted;
    return true;
  }
  Key& AddKey(const std::u16string& path,
              const std::vector<std::pair<std::u16string, std::u16string>>& texts = {}) {
    Key& key = Tree()[Folded(path)];
    key.path = path;
    for (const auto& [name, text] : texts) key.values.push_back(TextValue(name, text));
    return key;
  }
  bool Has(const std::u16string& path) const { return Tree().count(Folded(path)) > 0; }
  const RegistryValue* Find(const std::u16string& path, const std::u16string& name) const {
    auto key = Tree().find(Folded(path));
    if (key == Tree().end()) return nullptr;
    for (const RegistryValue& value : key->second.values) {
      if (Folded(value.name) == Folded(name)) return &value;
    }
    return nullptr;
  }
  // A value's data as the tool shows it; "<none>" when it is missing.
  std::string Text(const std::u16string& path, const std::u16string& name) const {
    const RegistryValue* value = Find(path, name);
    return value ? Narrow(DataText(*value)) : "<none>";
  }

  std::int32_t OpenKey(const std::u16string& path, bool forWriting, KeyToken* key) override {
    auto found = Tree().find(Folded(path));
    if (found == Tree().end()) return kStatusNotFound;
    if (forWriting && found->second.readOnly) return kStatusAccessDenied;
    *key = ++mLastToken;
    open[*key] = {found->first, forWriting};
    return kStatusOk;
  }
  std::int32_t CreateKey(const std::u16string& path, KeyToken* key, bool* created) override {
    *created = !Has(path);
    // The missing keys of the path are made below the nearest one that
    // exists, which must take a new subkey.
    std::u16string parent = path;
    std::vector<std::u16string> missing;
    while (!parent.empty() && !Has(parent)) {
      missing.push_back(parent);
      const std::size_t cut = parent.rfind(u'\\');
      parent = cut == std::u16string::npos ? u"" : parent.substr(0, cut);
    }
    if (!parent.empty() && !missing.empty() && Tree().at(Folded(parent)).readOnly) {
      return kStatusAccessDenied;
    }
    for (const std::u16string& part : missing) AddKey(part);
    return OpenKey(path, true, key);
  }
  void CloseKey(KeyToken key) override {
    if (open.erase(key) == 0) ADD_FAILURE() << "closed key " << key << " that is not open";
  }
  std::int32_t EnumKey(KeyToken key, std::uint32_t index, std::u16string* name) override {
    const std::u16string prefix = open.at(key).first + u"\\";
    for (const auto& [folded, child] : Tree()) {
      if (folded.rfind(prefix, 0) != 0 ||
          folded.find(u'\\', prefix.size()) != std::u16string::npos) {
        continue;
      }
      if (index-- == 0) {
        *name = child.path.substr(prefix.size());
        return kStatusOk;
      }
    }
    return kStatusNoMoreItems;
  }
  std::int32_t EnumValue(KeyToken key, std::uint32_t index, RegistryValue* value) override {
    const Key& found = Tree().at(open.at(key).first);
    if (index >= found.values.size()) return kStatusNoMoreItems;
    *value = found.values[index];
    return kStatusOk;
  }
  std::int32_t QueryValue(KeyToken key, const std::u16string& name, RegistryValue* value) override {
    const RegistryValue* found = Find(Tree().at(open.at(key).first).path, name);
    if (!found) return kStatusNotFound;
    *value = *found;
    return kStatusOk;
  }
  std::int32_t SetValue(KeyToken key, const RegistryValue& value) override {
    const int call = setValueCalls++;
    if (failSetValue.count(call)) return failSetValue[call];
    if (!open.at(key).second) return kStatusAccessDenied;
    Key& found = Tree().at(open.at(key).first);
    for (RegistryValue& old : found.values) {
      if (Folded(old.name) == Folded(value.name)) {
        old = value;
        return kStatusOk;
      }
    }
    found.values.push_back(value);
    return kStatusOk;
  }
  std::int32_t DeleteValue(KeyToken key, const std::u16string& name) override {
    if (!open.at(key).second) return kStatusAccessDenied;
    auto& values = Tree().at(open.at(key).first).values;
    for (auto it = values.begin(); it != values.end(); ++it) {
      if (Folded(it->name) == Folded(name)) {
        values.erase(it);
        return kStatusOk;
      }
    }
    return kStatusNotFound;
  }
  std::int32_t DeleteTree(const std::u16string& path) override {
    if (deleteTreeStatus != kStatusOk) return deleteTreeStatus;
    auto found = Tree().find(Folded(path));
    if (found == Tree().end()) return kStatusNotFound;
    if (found->second.readOnly) return kStatusAccessDenied;
    const std::u16string prefix = found->first + u"\\";
    Tree().erase(found);
    for (auto it = Tree().begin(); it != Tree().end();) {
      it = it->first.rfind(prefix, 0) == 0 ? Tree().erase(it) : std::next(it);
    }
    return kStatusOk;
  }

 private:
  KeyToken mLastToken = 0;
};

class FakeHid : public HidPort {
 public:
  std::vector<HidInterface> interfaces;
  std::int32_t status = kStatusOk;
  std::int32_t ListInterfaces(std::vector<HidInterface>* found) override {
    *found = interfaces;
    return status;
  }
};

class FakeConsole : public ConsolePort {
 public:
  std::vector<std::u16string> out;
  std::vector<std::u16string> err;
  void Out(const std::u16string& line) override { out.push_back(line); }
  void Err(const std::u16string& line) override { err.push_back(line); }
  std::string ErrText() const {
    std::string text;
    for (const auto& line : err) text += Narrow(line) + "\n";
    return text;
  }
};

}  // namespace provision_test
