#include "servers/TServerPopup.h"

#include "common/Gbk.h"

namespace lg {

bool SameTextIgnoringAsciiCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    const unsigned char x = static_cast<unsigned char>(a[i]);
    const unsigned char y = static_cast<unsigned char>(b[i]);
    if (IsGbkLeadByte(x) && i + 1 < a.size()) {
      // A double-byte character: both bytes must match exactly.
      if (x != y || a[i + 1] != b[i + 1]) return false;
      ++i;
      continue;
    }
    auto fold = [](unsigned char c) { return c >= 'a' && c <= 'z' ? static_cast<unsigned char>(c - 32) : c; };
    if (fold(x) != fold(y)) return false;
  }
  return true;
}

TServerPopup::TServerPopup(TPopupMode mode, const std::vector<TServerName>& names, std::string_view currentMember)
    : mode_(mode) {
  for (const TServerName& entry : names) {
    if (mode == TPopupMode::Servers) {
      if (entry.record.member == currentMember) rows_.push_back({entry.name, entry.record});
      continue;
    }
    bool seen = false;
    for (const TPopupRow& row : rows_) {
      if (SameTextIgnoringAsciiCase(row.text, entry.record.member)) {
        seen = true;
        break;
      }
    }
    if (!seen) rows_.push_back({entry.record.member, std::nullopt});
  }
}

int TServerPopup::HeightFor(int rows) {
  const int height = rows * kRowHeight + 2;
  return height > kMaxHeight ? kScrollHeight : height;
}

void TServerPopup::Select(int index) {
  selected_ = index >= 0 && index < Count() ? index : -1;
}

void TServerPopup::TrackPointer(int y, int topIndex) {
  if (y < 0) return;
  Select(topIndex + y / kRowHeight);
}

uint32_t TServerPopup::TextColour(int index, bool selected) const {
  if (selected) return kColourSelected;
  if (index >= 0 && index < Count() && rows_[index].record && rows_[index].record->recommend != 0)
    return kColourHighlighted;
  return kColourNormal;
}

bool TServerPopup::ShowsNewMark(int index) const {
  return index >= 0 && index < Count() && rows_[index].record && rows_[index].record->recommend != 0;
}

TServerPopup::TCommit TServerPopup::Commit() const {
  TCommit commit;
  if (selected_ < 0) return commit;
  const TPopupRow& row = rows_[selected_];
  if (mode_ == TPopupMode::Servers) {
    if (!row.record) return commit;
    commit.kind = TCommit::SelectServer;
    commit.server = *row.record;
  } else {
    commit.kind = TCommit::SelectMember;
    commit.member = row.text;
  }
  return commit;
}

}  // namespace lg
