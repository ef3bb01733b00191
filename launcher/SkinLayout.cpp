#include "launcher/SkinLayout.h"

namespace lg {

using A = TPositionAfter;

const std::array<TPositionRecord, kPositionRecordCount> kPositionRecords = {{
    {"background", "", 0, 0, A::None, 0},
    {"picSlogan", "picSlogan", 4, 0, A::None, 0},
    {"wb", "wb", 4, 0, A::None, 0},
    {"picLogin", "picLogin", 4, 0, A::None, 0},
    {"lbLstSelSrv", "LstSelSrv", 4, 0, A::None, 0},
    {"btnSelMem", "btnSelMem", 4, 0, A::None, 0},
    {"btnSelServer", "btnSelServer", 4, 0, A::None, 0},
    {"LGLabel1", "LGLabel1", 4, 0, A::None, 0},
    {"LGStart", "LGStart", 4, 0, A::DisableButton, 0},
    {"LBStatus", "LBStatus", 4, 0, A::None, 0},
    {"LGPTotal", "LGPTotal", 4, 0, A::ZeroXOffset, 0},
    {"LGCurrent", "LGCurrent", 4, 0, A::None, 0},
    // The label keeps its designed size: its W and H are stepped over.
    {"lbIngUpdate", "lbIngUpdate", 2, 4, A::None, 0},
    {"LGClose", "LGClose", 4, 0, A::None, 0},
    {"LGmin", "LGmin", 4, 0, A::None, 0},
    {"LGBtn1", "LGBtn1", 4, 0, A::SetTag, 1},
    {"LGBtn2", "LGBtn2", 4, 0, A::SetTag, 2},
    {"LGBtn3", "LGBtn3", 4, 0, A::SetTag, 3},
    {"LGBtn4", "LGBtn4", 4, 0, A::SetTag, 4},
}};

const std::array<const char*, kImageCount> kImageNames = {
    "background",     "btn_cz_normal",    "btn_gw_normal",    "btn_lt_normal", "btn_start_normal", "btn_zc_normal",
    "cb_normal",      "close_normal",     "frm_login",        "min_normal",    "pic_slogan",       "Progress_bk",
    "Progress_all",   "server_bk_active", "server_bk_normal", "server_new",    "btn_cz_active",    "btn_cz_down",
    "btn_gw_active",  "btn_gw_down",      "btn_lt_active",    "btn_lt_down",   "btn_start_active", "btn_start_disable",
    "btn_start_down", "btn_zc_active",    "btn_zc_down",      "cb_active",     "cb_down",          "close_active",
    "close_down",     "min_active",       "min_down"};

using U = TSkinUse;

// The five shared images are read twice from the same bytes, so each control
// owns a bitmap of its own.
const std::array<TImageRead, kImageReadCount> kImageReads = {{
    {0, false, false, U::Background, "", -1},
    {1, false, false, U::ButtonState, "LGBtn3", 0},
    {2, false, false, U::ButtonState, "LGBtn1", 0},
    {3, false, false, U::ButtonState, "LGBtn2", 0},
    {4, false, false, U::ButtonState, "LGStart", 0},
    {5, false, false, U::ButtonState, "LGBtn4", 0},
    {6, true, false, U::ButtonState, "btnSelServer", 0},
    {6, false, true, U::ButtonState, "btnSelMem", 0},
    {7, false, false, U::ButtonState, "LGClose", 0},
    {8, false, false, U::Picture, "picLogin", -1},
    {9, false, false, U::ButtonState, "LGmin", 0},
    {10, false, false, U::Picture, "picSlogan", -1},
    {11, true, false, U::ProgressBack, "LGPTotal", -1},
    {12, false, false, U::ProgressStep, "LGPTotal", -1},
    {11, false, true, U::ProgressBack, "LGCurrent", -1},
    {12, false, true, U::ProgressStep, "LGCurrent", -1},
    {13, false, false, U::PopupActive, "", -1},
    {14, false, false, U::PopupNormal, "", -1},
    {15, false, false, U::PopupNew, "", -1},
    {16, false, false, U::ButtonState, "LGBtn3", 1},
    {17, false, false, U::ButtonState, "LGBtn3", 2},
    {18, false, false, U::ButtonState, "LGBtn1", 1},
    {19, false, false, U::ButtonState, "LGBtn1", 2},
    {20, false, false, U::ButtonState, "LGBtn2", 1},
    {21, false, false, U::ButtonState, "LGBtn2", 2},
    {22, false, false, U::ButtonState, "LGStart", 1},
    {23, false, false, U::ButtonState, "LGStart", 3},
    {24, false, false, U::ButtonState, "LGStart", 2},
    {25, false, false, U::ButtonState, "LGBtn4", 1},
    {26, false, false, U::ButtonState, "LGBtn4", 2},
    {27, true, false, U::ButtonState, "btnSelServer", 1},
    {28, false, false, U::ButtonState, "btnSelServer", 2},
    {27, false, true, U::ButtonState, "btnSelMem", 1},
    {28, false, true, U::ButtonState, "btnSelMem", 2},
    {29, false, false, U::ButtonState, "LGClose", 1},
    {30, false, false, U::ButtonState, "LGClose", 2},
    {31, false, false, U::ButtonState, "LGmin", 1},
    {32, false, false, U::ButtonState, "LGmin", 2},
}};

void ResetComponentOffset(IBlockSource& source, const TBlockPlacement& place,
                          const std::function<void(int record, int field, int value)>& apply, const TLogSink& log) {
  int64_t cursor = static_cast<int64_t>(place.posOffset) + kPositionRecordSize;
  for (int i = 1; i < kPositionRecordCount; ++i) {
    const TPositionRecord& rec = kPositionRecords[i];
    for (int f = 0; f < rec.fields; ++f) {
      const std::string name = std::string(rec.label) + " " + kPositionFieldNames[f];
      if (std::optional<int> v = LoadImgPos(source, place, name, cursor, log)) apply(i, f, *v);
    }
    cursor += rec.skipAfter;
  }
}

int LoadImageresource(IBlockSource& source, const TBlockPlacement& place,
                      const std::function<void(const TImageRead& read, std::string&& bytes)>& apply,
                      const TLogSink& log) {
  if (place.resOffset == 0) return 0;
  int64_t main = place.resOffset;
  int64_t second = 0;
  int loaded = 0;
  for (const TImageRead& read : kImageReads) {
    if (read.markSecond) second = main;
    std::string bytes;
    if (!LoadImg(source, place, kImageNames[read.image], read.second ? second : main, bytes, log)) break;
    apply(read, std::move(bytes));
    ++loaded;
  }
  return loaded;
}

}  // namespace lg
